#pragma once

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QString>

struct wl_display;
struct org_kde_kwin_fake_input;

// What KWin itself says about its windows, asked through its scripting interface: a script
// reports back over D-Bus to this object.
class KWinScripts final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvelraza.LayerShellTest")

public:
    KWinScripts();
    // "caption<TAB>pid<TAB>geometry and kind" of workspace.activeClient, empty when none; a null
    // string when KWin did not answer.
    QString activeWindow();
    // The active screen as KWin composes it (ScreenShot2); null on failure.
    static QImage screenshot();

public slots:
    void report(const QString &value);

private:
    QString m_report;
    bool m_reported = false;
    int m_runs = 0;
};

// The pointer of KWin's seat moved and pressed as a person would, through its fake-input
// protocol (offered to any client when KWin runs with KWIN_WAYLAND_NO_PERMISSION_CHECKS=1).
class FakePointer {
public:
    FakePointer();
    ~FakePointer();
    bool isValid() const { return m_input != nullptr; }
    void moveTo(const QPointF &global);
    void press();
    void release();

private:
    void send();
    wl_display *m_display = nullptr;
    org_kde_kwin_fake_input *m_input = nullptr;
};
