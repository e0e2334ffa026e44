#pragma once

#include "app/CaptureStatus.h"
#include "window/WindowContext.h"

class QWidget;

// The screen of one section, made the first time the section is shown.
QWidget *makeSectionScreen(AppSection section, const WindowContext &context, QWidget *parent);
