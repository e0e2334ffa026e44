#pragma once

#include "../../app/AppStateFixture.h"
#include "app/AgentServices.h"
#include "platform/x11/X11Connection.h"
#include "platform/x11/X11FloatingPanelHints.h"
#include "ui/overlay/OverlayPanel.h"
#include "ui/overlay/OverlayPanelController.h"

#include <QSettings>
#include <QTest>

// The real state and the real panel, with fakes below the state, a private preferences file
// and the session's window manager.
class OverlayTest : public AppStateTest {
protected:
    // The state reaches the panel through this; the panel is made after the state.
    class Forward final : public OverlayPresenter {
    public:
        void show() override { if (to) to->show(); }
        void hide() override { if (to) to->hide(); }
        OverlayPresenter *to = nullptr;
    };

    void SetUp() override
    {
        store = std::make_unique<QSettings>(home.path() + QStringLiteral("/preferences.ini"), QSettings::IniFormat);
        AppStateTest::SetUp();
        makeController();
    }
    void addServices(AppState::Services &s) override
    {
        s.overlay = &forward;
        s.defaults = store.get();
        s.agentRuntime = agentRuntime;
        s.agentResults = agentResults;
        s.screenCapture = &screenCapture;
    }

    void TearDown() override
    {
        forward.to = nullptr;
        controller.reset();
        state.reset();
    }

    // A fresh controller over the same preferences, as after a restart.
    void makeController()
    {
        forward.to = nullptr;
        controller.reset();
        controller = std::make_unique<OverlayPanelController>(*state, *store, scheduler, panelHints,
                                                               [this] { return samples; });
        forward.to = controller.get();
    }

    OverlayPanel &panel() { return *controller->panel(); }
    QPointF savedOrigin() const
    {
        return {store->value(OverlayPanelController::originXKey).toDouble(),
                store->value(OverlayPanelController::originYKey).toDouble()};
    }
    static void settle(int ms = 150) { QTest::qWait(ms); }

    // Set by fixtures that run Commands, before SetUp.
    AgentRuntimeClient *agentRuntime = nullptr;
    AgentResultPresenter *agentResults = nullptr;
    FakeScreenCapture screenCapture;
    X11Connection x11;
    X11FloatingPanelHints hints{x11};
    // Set before SetUp by fixtures that present the panels otherwise.
    FloatingPanelHints *panelHints = &hints;
    Forward forward;
    QList<double> samples;
    std::unique_ptr<QSettings> store;
    std::unique_ptr<OverlayPanelController> controller;
};
