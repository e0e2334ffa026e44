#pragma once

#include "app/CaptureStatus.h"
#include "window/WindowContext.h"

class AppState;
class QWidget;

// The screen of one section, made the first time the section is shown.
QWidget *makeSectionScreen(AppSection section, const WindowContext &context, QWidget *parent);

// The Models section's screen (screens/ModelsScreenSlot.cpp).
QWidget *makeModelsScreen(AppState &state, QWidget *parent);
