#pragma once

#include "../app/AppStateFixture.h"
#include "speech/HistoryStore.h"
#include "speech/ModelStore.h"
#include "window/WindowContext.h"

#include <QUuid>

// The application state with real history and model stores in a scratch data folder.
class WindowTest : public AppStateTest {
protected:
    void SetUp() override
    {
        AppStateTest::SetUp();
        history = std::make_unique<HistoryStore>();
        context.state = state.get();
        context.history = history.get();
        context.pasteboard = &pasteboard;
    }
    void TearDown() override
    {
        history.reset();
    }

    // Newest first, as the Dictation flow adds them.
    void addTranscript(const QString &text, const QString &modelID = QStringLiteral("pocket"))
    {
        HistoryItem item;
        item.id = QUuid::createUuid();
        item.createdAt = QDateTime::currentDateTimeUtc();
        item.text = text;
        item.duration = 4;
        item.modelID = modelID;
        history->insertFront(item);
    }

    std::unique_ptr<HistoryStore> history;
    WindowContext context;
};
