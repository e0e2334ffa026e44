#pragma once

#include "FakeDictation.h"
#include "FakePorts.h"
#include "FakeScheduler.h"
#include "TempDataHome.h"
#include "app/AppState.h"
#include "speech/AppPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <memory>

class AppStateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(AppPaths::models());
        installModel("pocket");
        recorder.filePath = home.path() + QStringLiteral("/recording.wav");
        state = makeState();
    }

    // A Wayland session without the portal keyboard.
    bool wayland = false;

    std::unique_ptr<AppState> makeState()
    {
        AppState::Services s;
        s.scheduler = &scheduler;
        s.pasteboard = &pasteboard;
        s.keys = &keys;
        s.workspace = &workspace;
        s.accessibility = &accessibility;
        s.insertTextDirectly = wayland;
        s.keysReachApplications = !wayland;
        s.screenCaptureSeesEveryWindow = !wayland;
        s.permissions = &permissions;
        s.sounds = &sounds;
        s.recorder = &recorder;
        s.runner = &runner;
        s.history = &history;
        s.overlay = &overlay;
        s.mainWindow = &mainWindow;
        s.cancelShortcut = hotKeyBackend ? nullptr : &cancelShortcut;
        s.hotKeys = hotKeyBackend;
        s.openAIKeychain = keychain;
        s.serverKeys = serverKeys;
        addServices(s);
        return std::make_unique<AppState>(s);
    }
    // Fixtures with more collaborators hand them over here.
    virtual void addServices(AppState::Services &) {}

    void installModel(const QString &id)
    {
        QFile f(AppPaths::models() + QLatin1Char('/') + SpeechModel::withID(id)->fileName);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("model");
    }

    // Lets queued progress reports and coroutine resumptions run.
    static void drain() { QCoreApplication::processEvents(); }

    void startAndStop()
    {
        state->toggleRecording();
        state->toggleRecording();
    }
    // Start, stop, and let the runner answer.
    void dictate(Result<QString, OrvelError> outcome)
    {
        startAndStop();
        runner.finish(std::move(outcome));
        drain();
    }

    CaptureStatus::Kind kind() const { return state->status().kind; }

    TempDataHome home;
    FakeScheduler scheduler;
    FakePasteboard pasteboard;
    FakeKeySynthesizer keys;
    FakeWorkspace workspace;
    FakeAccessibility accessibility;
    FakePermissions permissions;
    FakeSoundPlayer sounds;
    FakeRecorder recorder;
    FakeRunner runner;
    FakeHistory history;
    FakeOverlay overlay;
    FakeMainWindow mainWindow;
    FakeCancelShortcut cancelShortcut;
    // When set, the state registers real shortcuts (the cancel key too) on this backend.
    HotKeyBackend *hotKeyBackend = nullptr;
    // When set, the state keeps the cloud key here.
    OpenAIKeychainStore *keychain = nullptr;
    ModelServerKeyStore *serverKeys = nullptr;
    std::unique_ptr<AppState> state;
};
