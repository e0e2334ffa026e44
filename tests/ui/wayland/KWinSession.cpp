#include "KWinSession.h"

#include "fake-input-client-protocol.h"

#include <wayland-client.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>
#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <QTest>

#include <linux/input-event-codes.h>
#include <unistd.h>

#include <cstring>

namespace {
const QString kKWin = QStringLiteral("org.kde.KWin");
const QString kPath = QStringLiteral("/report");

QDBusMessage scripting(const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage m = QDBusMessage::createMethodCall(kKWin, QStringLiteral("/Scripting"), QStringLiteral("org.kde.kwin.Scripting"), method);
    m.setArguments(arguments);
    return QDBusConnection::sessionBus().call(m);
}
} // namespace

KWinScripts::KWinScripts()
{
    QDBusConnection::sessionBus().registerObject(kPath, this, QDBusConnection::ExportAllSlots);
}

void KWinScripts::report(const QString &value)
{
    m_report = value;
    m_reported = true;
}

QString KWinScripts::activeWindow()
{
    const QString name = QStringLiteral("orvel-layer-test-%1").arg(++m_runs);
    QTemporaryFile script(QDir::tempPath() + QStringLiteral("/orvel-kwin-XXXXXX.js"));
    if (!script.open())
        return {};
    // The kind and place say which of our surfaces it is, should one of them be active.
    script.write(QStringLiteral("var c = workspace.activeClient;\n"
                                "callDBus('%1', '%2', 'org.orvelraza.LayerShellTest', 'report', !c ? '' :"
                                " c.caption + '\\t' + c.pid + '\\t' + c.frameGeometry.x + ',' + c.frameGeometry.y +"
                                " ' ' + c.frameGeometry.width + 'x' + c.frameGeometry.height +"
                                " ' type=' + c.windowType + ' wantsInput=' + c.wantsInput);\n")
                     .arg(QDBusConnection::sessionBus().baseService(), kPath)
                     .toUtf8());
    script.close();

    if (!QDBusReply<int>(scripting(QStringLiteral("loadScript"), {script.fileName(), name})).isValid())
        return {};
    m_reported = false;
    // Runs what was loaded and not yet run: this script alone, since each is unloaded after.
    scripting(QStringLiteral("start"));
    (void)QTest::qWaitFor([this] { return m_reported; }, 5000);
    scripting(QStringLiteral("unloadScript"), {name});
    return m_reported ? (m_report.isNull() ? QStringLiteral("") : m_report) : QString();
}

QImage KWinScripts::screenshot()
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    QDBusReply<QVariantMap> results;
    {
        // The message holds a copy of the writing end: it must be gone before the reading ends.
        QDBusMessage capture = QDBusMessage::createMethodCall(kKWin, QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                                              QStringLiteral("org.kde.KWin.ScreenShot2"),
                                                              QStringLiteral("CaptureActiveScreen"));
        capture << QVariantMap{{QStringLiteral("native-resolution"), true}}
                << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
        close(fds[1]);
        results = QDBusConnection::sessionBus().call(capture);
    }
    QFile in;
    in.open(fds[0], QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    const QByteArray data = in.readAll();
    if (!results.isValid())
        return {};
    const QVariantMap r = results.value();
    const int width = r.value(QStringLiteral("width")).toInt(), height = r.value(QStringLiteral("height")).toInt();
    const int stride = r.value(QStringLiteral("stride")).toInt();
    const auto format = QImage::Format(r.value(QStringLiteral("format")).toInt());
    if (width <= 0 || height <= 0 || data.size() < qsizetype(stride) * height)
        return {};
    return QImage(reinterpret_cast<const uchar *>(data.constData()), width, height, stride, format).copy();
}

FakePointer::FakePointer()
{
    m_display = wl_display_connect(nullptr);
    if (!m_display)
        return;
    static const wl_registry_listener listener = {
        [](void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t version) {
            if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 3)
                static_cast<FakePointer *>(data)->m_input = static_cast<org_kde_kwin_fake_input *>(
                    wl_registry_bind(registry, id, &org_kde_kwin_fake_input_interface, 3));
        },
        [](void *, wl_registry *, uint32_t) {}};
    wl_registry *registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(registry, &listener, this);
    wl_display_roundtrip(m_display);
    wl_registry_destroy(registry);
    if (m_input)
        org_kde_kwin_fake_input_authenticate(m_input, "Orvel Raza tests", "clicks the floating panels");
    send();
}

FakePointer::~FakePointer()
{
    if (m_input)
        org_kde_kwin_fake_input_destroy(m_input);
    if (m_display)
        wl_display_disconnect(m_display);
}

void FakePointer::send()
{
    if (m_display)
        wl_display_roundtrip(m_display);
    QTest::qWait(60);
}

void FakePointer::moveTo(const QPointF &global)
{
    org_kde_kwin_fake_input_pointer_motion_absolute(m_input, wl_fixed_from_double(global.x()),
                                                    wl_fixed_from_double(global.y()));
    send();
}

void FakePointer::press()
{
    org_kde_kwin_fake_input_button(m_input, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
    send();
}

void FakePointer::release()
{
    org_kde_kwin_fake_input_button(m_input, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
    send();
}
