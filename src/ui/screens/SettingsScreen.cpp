#include "ui/screens/SettingsScreen.h"

#include "app/AppState.h"
#include "app/LoginStart.h"
#include "app/PlatformWording.h"
#include "ui/components/Components.h"
#include "ui/screens/DesktopShortcutCommands.h"
#include "ui/screens/OverlaySizeChoice.h"
#include "ui/components/ScreenLayout.h"
#include "ui/screens/ShortcutRecorderWidget.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace ScreenLayout;

namespace {

QWidget *section(const QString &title, QVBoxLayout **rows, CardBackground **frameOut = nullptr)
{
    auto *box = new QWidget;
    auto *v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->addWidget(sectionTitle(title));
    CardBackground *frame = card(rows);
    v->addWidget(frame);
    if (frameOut)
        *frameOut = frame;
    return box;
}

} // namespace

SettingsScreen::SettingsScreen(AppState &state, QWidget *parent) : QWidget(parent), m_state(state)
{
    QVBoxLayout *column = page(this, &m_scroll);
    column->addWidget(heading(QStringLiteral("Make it yours"), QStringLiteral("Settings"),
                              QStringLiteral("Compare global shortcuts and tune shared app behavior in one place.")));
    column->addWidget(makeDictationSection());
    column->addWidget(makeCommandSection());
    column->addWidget(makeDesktopShortcutCommands(state));
    column->addWidget(makeOverlaySection());
    column->addWidget(makePermissionsSection());
    column->addWidget(note(QStringLiteral("lock.fill"),
                           PlatformWording::adapt(QStringLiteral(
                               "Dictation stays local. OpenAI is optional for Command and uses only the API key "
                               "saved in your macOS Keychain."))));
    column->addStretch();

    m_permissionHighlightTask.setSingleShot(true);
    m_permissionHighlightTask.setInterval(permissionHighlightMilliseconds);
    connect(&m_permissionHighlightTask, &QTimer::timeout, this, [this] { setHighlightedPermissions(false); });

    connect(&state, &AppState::shortcutsChanged, this, [this] {
        refreshShortcuts();
        // The state registers the new combination after announcing it.
        QTimer::singleShot(0, this, &SettingsScreen::refreshTaken);
    });
    connect(&state, &AppState::preferencesChanged, this, &SettingsScreen::refreshPreferences);
    connect(&state, &AppState::permissionsChanged, this, &SettingsScreen::refreshPermissions);
    connect(&state, &AppState::permissionAttentionRequestChanged, this, &SettingsScreen::handlePermissionAttention);
    refreshShortcuts();
    refreshTaken();
    refreshPreferences();
    refreshPermissions();
}

SettingsScreen::~SettingsScreen()
{
    // A capture still running gives the global shortcuts back while this screen is whole.
    for (const Recorder &r : std::as_const(m_recorders))
        r.widget->stopCapturing();
}

ShortcutRecorderWidget *SettingsScreen::addRecorder(bool requiresModifier,
                                                    std::function<const KeyboardShortcutSetting &()> read,
                                                    std::function<void(const KeyboardShortcutSetting &)> write,
                                                    std::optional<HotKeyManager::Identifier> identifier)
{
    auto *recorder = new ShortcutRecorderWidget(requiresModifier);
    connect(recorder, &ShortcutRecorderWidget::shortcutRecorded, this, [write](const KeyboardShortcutSetting &s) { write(s); });
    // Captured by reference to the state only: a recorder torn down with this screen still
    // hands the global shortcuts back.
    AppState *state = &m_state;
    QPointer<SettingsScreen> self(this);
    connect(recorder, &ShortcutRecorderWidget::captureDidChange, state, [state, self](bool capturing) {
        state->shortcutCaptureDidChange(capturing);
        if (self && !capturing)
            self->refreshTaken();
    });
    m_recorders.append({recorder, std::move(read), identifier});
    return recorder;
}

QWidget *SettingsScreen::makeDictationSection()
{
    QVBoxLayout *rows = nullptr;
    QWidget *box = section(QStringLiteral("Dictation"), &rows);
    AppState &s = m_state;
    rows->addWidget(row(QStringLiteral("keyboard"), QStringLiteral("Global shortcut"),
                        QStringLiteral("Start or finish from any app"),
                        addRecorder(true, [&s]() -> const KeyboardShortcutSetting & { return s.toggleShortcut(); },
                                    [&s](const KeyboardShortcutSetting &v) { s.setToggleShortcut(v); },
                                    HotKeyManager::toggle)));
    rows->addWidget(divider());
    rows->addWidget(row(QStringLiteral("hand.tap.fill"), QStringLiteral("Push to talk"),
                        QStringLiteral("Hold while speaking, release to transcribe"),
                        addRecorder(true, [&s]() -> const KeyboardShortcutSetting & { return s.pushToTalkShortcut(); },
                                    [&s](const KeyboardShortcutSetting &v) { s.setPushToTalkShortcut(v); },
                                    HotKeyManager::pushToTalk)));
    rows->addWidget(divider());
    // A bare key such as Esc is allowed here.
    rows->addWidget(row(QStringLiteral("escape"), QStringLiteral("Cancel recording"),
                        QStringLiteral("Discard the active Dictation or Command recording"),
                        addRecorder(false, [&s]() -> const KeyboardShortcutSetting & { return s.cancelShortcut(); },
                                    [&s](const KeyboardShortcutSetting &v) { s.setCancelShortcut(v); }, std::nullopt)));
    rows->addWidget(divider());
    m_automaticPaste = new QCheckBox;
    m_automaticPaste->setObjectName(QStringLiteral("automaticPaste"));
    connect(m_automaticPaste, &QCheckBox::toggled, this, [this](bool on) { m_state.setAutomaticPaste(on); });
    rows->addWidget(row(QStringLiteral("doc.on.clipboard"), QStringLiteral("Automatic paste"),
                        QStringLiteral("Insert the transcript at your cursor"), m_automaticPaste));
    rows->addWidget(divider());

    auto *soundControls = new QWidget;
    auto *h = new QHBoxLayout(soundControls);
    h->setContentsMargins(0, 0, 0, 0);
    m_sound = new QComboBox;
    m_sound->setObjectName(QStringLiteral("completionSound"));
    for (CompletionSound c : {CompletionSound::softPop, CompletionSound::glassChime, CompletionSound::gentleTap})
        m_sound->addItem(rawValue(c), QVariant::fromValue(int(c)));
    m_sound->setAccessibleName(QStringLiteral("Completion sound"));
    connect(m_sound, &QComboBox::activated, this,
            [this](int index) { m_state.setCompletionSound(CompletionSound(m_sound->itemData(index).toInt())); });
    auto *preview = new QPushButton(QStringLiteral("Preview"));
    connect(preview, &QPushButton::clicked, this, [this] { m_state.playCompletionSound(); });
    h->addWidget(m_sound);
    h->addWidget(preview);
    rows->addWidget(row(QStringLiteral("speaker.wave.2.fill"), QStringLiteral("Completion sound"),
                        QStringLiteral("Used after Dictation and Command"), soundControls));
    rows->addWidget(divider());

    m_keepLoaded = new QComboBox;
    m_keepLoaded->setObjectName(QStringLiteral("speechKeepSeconds"));
    const QList<QPair<QString, double>> keeps{{QStringLiteral("Never"), 0},
                                              {QStringLiteral("1 minute"), 60},
                                              {QStringLiteral("5 minutes"), 300},
                                              {QStringLiteral("15 minutes"), 900},
                                              {QStringLiteral("1 hour"), 3600},
                                              {QStringLiteral("Always"), -1}};
    for (const auto &[label, seconds] : keeps)
        m_keepLoaded->addItem(label, seconds);
    connect(m_keepLoaded, &QComboBox::activated, this,
            [this](int index) { m_state.setSpeechKeepSeconds(m_keepLoaded->itemData(index).toDouble()); });
    // The explanation says where the model runs; filled in below and whenever that changes.
    QWidget *keepRow = row(QStringLiteral("cpu"), QStringLiteral("Keep the speech model loaded"),
                           QStringLiteral(" "), m_keepLoaded);
    m_speechDevice = keepRow->findChild<QLabel *>(QStringLiteral("explanation"));
    rows->addWidget(keepRow);
    connect(&m_state, &AppState::speechDeviceChanged, this, &SettingsScreen::refreshSpeechDevice);
    refreshSpeechDevice();
    rows->addWidget(divider());
    // Off until turned on here; on means the entry is in the user's autostart folder.
    m_startAtLogin = new QCheckBox;
    m_startAtLogin->setObjectName(QStringLiteral("startAtLogin"));
    m_startAtLogin->setAccessibleName(QStringLiteral("Start at login"));
    m_startAtLogin->setChecked(LoginStart::enabled());
    auto *loginError = caption(QString());
    loginError->setObjectName(QStringLiteral("startAtLoginError"));
    loginError->hide();
    connect(m_startAtLogin, &QCheckBox::toggled, this, [this, loginError](bool on) {
        const auto failure = LoginStart::setEnabled(on);
        loginError->setText(failure.value_or(QString()));
        loginError->setVisible(failure.has_value());
        const QSignalBlocker block(m_startAtLogin);
        m_startAtLogin->setChecked(LoginStart::enabled());
    });
    rows->addWidget(row(QStringLiteral("power"), QStringLiteral("Start at login"),
                        QStringLiteral("Keep Orvel Raza in the tray after you log in"), m_startAtLogin));
    rows->addWidget(loginError);
    return box;
}

QWidget *SettingsScreen::makeCommandSection()
{
    QVBoxLayout *rows = nullptr;
    QWidget *box = section(QStringLiteral("Command"), &rows);
    AppState &s = m_state;
    rows->addWidget(row(QStringLiteral("wand.and.stars"), QStringLiteral("Command"),
                        QStringLiteral("Record a spoken writing command"),
                        addRecorder(true, [&s]() -> const KeyboardShortcutSetting & { return s.agentShortcut(); },
                                    [&s](const KeyboardShortcutSetting &v) { s.setAgentShortcut(v); },
                                    HotKeyManager::agent)));
    rows->addWidget(divider());
    rows->addWidget(row(QStringLiteral("camera.viewfinder"), QStringLiteral("Command with screenshot"),
                        QStringLiteral("Capture the target window before recording"),
                        addRecorder(true, [&s]() -> const KeyboardShortcutSetting & { return s.agentScreenshotShortcut(); },
                                    [&s](const KeyboardShortcutSetting &v) { s.setAgentScreenshotShortcut(v); },
                                    HotKeyManager::agentScreenshot)));
    m_conflict = note(QStringLiteral("exclamationmark.triangle.fill"),
                      QStringLiteral("Two global shortcuts conflict. Record a unique combination."));
    m_conflict->setObjectName(QStringLiteral("shortcutConflict"));
    rows->addWidget(m_conflict);
    return box;
}

QWidget *SettingsScreen::makeOverlaySection()
{
    QVBoxLayout *rows = nullptr;
    QWidget *box = section(QStringLiteral("Floating overlay"), &rows);
    m_appearance = new QComboBox;
    m_appearance->setObjectName(QStringLiteral("overlayAppearance"));
    for (OverlayAppearance a : {OverlayAppearance::automatic, OverlayAppearance::light, OverlayAppearance::dark})
        m_appearance->addItem(rawValue(a), QVariant::fromValue(int(a)));
    connect(m_appearance, &QComboBox::activated, this, [this](int index) {
        m_state.setOverlayAppearance(OverlayAppearance(m_appearance->itemData(index).toInt()));
    });
    rows->addWidget(row(QStringLiteral("circle.lefthalf.filled"), QStringLiteral("Appearance"),
                        QStringLiteral("Independent from the main window"), m_appearance));
    rows->addWidget(divider());

    auto *sizes = new QWidget;
    auto *h = new QHBoxLayout(sizes);
    h->setContentsMargins(0, 0, 0, 0);
    auto *group = new QButtonGroup(sizes);
    for (OverlaySize size : {OverlaySize::classic, OverlaySize::mini}) {
        auto *choice = new OverlaySizeChoice(size);
        group->addButton(choice);
        connect(choice, &QAbstractButton::clicked, this, [this, size] { m_state.setOverlaySize(size); });
        m_sizes.append(choice);
        h->addWidget(choice);
    }
    rows->addWidget(row(QString(), QStringLiteral("Size"), QString(), sizes));
    rows->addWidget(divider());

    auto *reset = new QPushButton(symbol(QStringLiteral("arrow.counterclockwise")), QStringLiteral("Reset"));
    connect(reset, &QPushButton::clicked, this, [this] { m_state.resetOverlayPosition(); });
    rows->addWidget(row(QStringLiteral("arrow.up.and.down.and.arrow.left.and.right"), QStringLiteral("Position"),
                        QStringLiteral("Drag the overlay anywhere; Orvel Raza remembers it"), reset));
    return box;
}

QWidget *SettingsScreen::makePermissionsSection()
{
    QVBoxLayout *rows = nullptr;
    QWidget *box = section(QStringLiteral("Permissions"), &rows, &m_permissionsSection);
    m_permissionsSection->setObjectName(permissionsAnchor);
    struct Permission {
        QString icon, name;
        std::function<bool()> granted;
        std::function<void()> request;
    };
    AppState &s = m_state;
    const QList<Permission> permissions = {
        {QStringLiteral("mic.fill"), QStringLiteral("Microphone"), [&s] { return s.microphoneGranted(); },
         [&s] { s.requestMicrophone(); }},
        {QStringLiteral("cursorarrow.motionlines"), QStringLiteral("Accessibility"),
         [&s] { return s.accessibilityGranted(); }, [&s] { s.requestAccessibility(); }},
        {QStringLiteral("rectangle.inset.filled.and.person.filled"), QStringLiteral("Screen Recording"),
         [&s] { return s.screenRecordingGranted(); }, [&s] { s.requestScreenRecording(); }},
    };
    for (int i = 0; i < permissions.size(); ++i) {
        const Permission &permission = permissions[i];
        auto *control = new QWidget;
        auto *h = new QHBoxLayout(control);
        h->setContentsMargins(0, 0, 0, 0);
        auto *allow = new QPushButton(QStringLiteral("Allow"));
        allow->setAccessibleName(QStringLiteral("Allow ") + permission.name);
        connect(allow, &QPushButton::clicked, this, [request = permission.request] { request(); });
        QWidget *ready = note(QStringLiteral("checkmark.circle.fill"), QStringLiteral("Ready"));
        h->addWidget(allow);
        h->addWidget(ready);
        QWidget *r = row(permission.icon, permission.name, QStringLiteral("Required for the full workflow"), control);
        rows->addWidget(r);
        if (i + 1 < permissions.size())
            rows->addWidget(divider());
        m_permissionRows.append({r->findChild<QLabel *>(QStringLiteral("explanation")), allow, ready, permission.granted});
    }
    return box;
}

void SettingsScreen::refreshShortcuts()
{
    for (const Recorder &r : std::as_const(m_recorders))
        r.widget->setShortcut(r.read());
    m_conflict->setVisible(!m_state.agentShortcutConflicts().isEmpty());
}

void SettingsScreen::refreshTaken()
{
    HotKeyManager &keys = m_state.hotKey();
    // Without a shortcut backend, or while one is being recorded, nothing says "taken".
    const bool known = keys.handlerInstalled() && !m_state.hotKeysSuspended();
    for (const Recorder &r : std::as_const(m_recorders))
        r.widget->setTaken(known && r.identifier && !keys.isRegistered(*r.identifier));
}

void SettingsScreen::refreshPreferences()
{
    const QSignalBlocker b1(m_automaticPaste), b2(m_sound), b3(m_appearance), b4(m_keepLoaded);
    const int keep = m_keepLoaded->findData(m_state.speechKeepSeconds() < 0 ? -1.0 : m_state.speechKeepSeconds());
    m_keepLoaded->setCurrentIndex(keep >= 0 ? keep : m_keepLoaded->findData(300.0));
    m_automaticPaste->setChecked(m_state.automaticPaste());
    m_sound->setCurrentIndex(m_sound->findData(int(m_state.completionSound())));
    m_appearance->setCurrentIndex(m_appearance->findData(int(m_state.overlayAppearance())));
    for (OverlaySizeChoice *choice : std::as_const(m_sizes)) {
        choice->setChecked(choice->size() == m_state.overlaySize());
        choice->setAppearance(m_state.overlayAppearance());
    }
}

void SettingsScreen::refreshSpeechDevice()
{
    const QString device = m_state.speechDevice();
    m_speechDevice->setText(!m_state.hasWarmSpeechEngine() ? QStringLiteral("Loaded for each recording, on the CPU")
                            : device.isEmpty()             ? QStringLiteral("Loads when a recording starts")
                                                           : QStringLiteral("Loaded, running on ") + device);
}

void SettingsScreen::refreshPermissions()
{
    for (const PermissionRow &r : std::as_const(m_permissionRows)) {
        const bool granted = r.granted();
        r.explanation->setText(granted ? QStringLiteral("Granted") : QStringLiteral("Required for the full workflow"));
        r.allow->setVisible(!granted);
        r.ready->setVisible(granted);
    }
}

void SettingsScreen::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_state.refreshPermissions();
    handlePermissionAttention();
}

void SettingsScreen::handlePermissionAttention()
{
    const int request = m_state.permissionAttentionRequest();
    if (m_handledPermissionAttentionRequest >= request)
        return;
    m_handledPermissionAttentionRequest = request;
    m_permissionHighlightTask.stop();
    setHighlightedPermissions(true);
    m_permissionHighlightTask.start();
    // After pending layout, so the section's place is known.
    QTimer::singleShot(0, this, &SettingsScreen::scrollToPermissions);
}

void SettingsScreen::scrollToPermissions()
{
    // Scroll so the whole section is in view, or at least its top.
    QScrollBar *bar = m_scroll->verticalScrollBar();
    const QWidget *content = m_scroll->widget();
    const int top = m_permissionsSection->parentWidget()->mapTo(content, QPoint(0, 0)).y();
    const int bottom = top + m_permissionsSection->parentWidget()->height();
    const int viewport = m_scroll->viewport()->height();
    int target = bar->value();
    if (bottom > target + viewport)
        target = bottom - viewport;
    if (top < target)
        target = top;
    target = std::clamp(target, bar->minimum(), bar->maximum());
    auto *animation = new QPropertyAnimation(bar, "value", this);
    animation->setDuration(250);
    animation->setEndValue(target);
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void SettingsScreen::setHighlightedPermissions(bool on)
{
    m_highlightedPermissions = on;
    m_permissionsSection->setHighlighted(on);
}
