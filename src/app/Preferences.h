#pragma once

#include "app/KeyboardShortcutSetting.h"
#include "app/PreferenceTypes.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

namespace PreferenceKeys {
inline const QString onboardingComplete = QStringLiteral("onboardingComplete");
inline const QString selectedModelID = QStringLiteral("selectedModelID");
inline const QString automaticPaste = QStringLiteral("automaticPaste");
inline const QString overlayAppearance = QStringLiteral("overlayAppearance");
inline const QString overlaySize = QStringLiteral("overlaySize");
inline const QString completionSound = QStringLiteral("completionSound");
inline const QString toggleShortcut = QStringLiteral("toggleShortcut");
inline const QString pushToTalkShortcut = QStringLiteral("pushToTalkShortcut");
inline const QString cancelShortcut = QStringLiteral("cancelShortcut");
// Older name of the cancel shortcut: read as its fallback, never written.
inline const QString finishShortcut = QStringLiteral("finishShortcut");
inline const QString agentShortcut = QStringLiteral("agentShortcut");
inline const QString agentScreenshotShortcut = QStringLiteral("agentScreenshotShortcut");
inline const QString agentSettings = QStringLiteral("agentSettings");
inline const QString vocabulary = QStringLiteral("vocabulary");
inline const QString speechKeepSeconds = QStringLiteral("speechKeepSeconds");
inline const QString overlayOriginX = QStringLiteral("overlayOriginX");
inline const QString overlayOriginY = QStringLiteral("overlayOriginY");
} // namespace PreferenceKeys

// Typed reads and writes of the per-user preferences. Every read falls back to the default when
// the value is missing or unreadable; every write reaches the disk before it returns.
class Preferences {
public:
    // The store is not owned.
    explicit Preferences(QSettings *store);

    // The program's own store: organisation "Orvel Raza", application "OrvelPlus", in the
    // user's configuration folder as it is at the moment of the call.
    static std::unique_ptr<QSettings> openDefaultStore();
    // Values the store could not make sense of would be written back as "@Invalid()" by the
    // next change: the file is copied aside first (numbered, never over an earlier copy) and
    // those values are dropped, so each falls back to its default. The copy's path, if made.
    static std::optional<QString> keepAsideUnreadableValues(QSettings &store);

    bool onboardingComplete() const;
    QString selectedModelID() const;
    bool automaticPaste() const;
    OverlayAppearance overlayAppearance() const;
    OverlaySize overlaySize() const;
    CompletionSound completionSound() const;
    KeyboardShortcutSetting shortcut(const QString &key, const KeyboardShortcutSetting &fallback) const;
    KeyboardShortcutSetting cancelShortcut() const;
    // The stored bytes, or nothing when absent or not data.
    std::optional<QByteArray> data(const QString &key) const;
    QStringList vocabulary() const;
    // 300 unless set; negative: always kept.
    double speechKeepSeconds() const;

    void setBool(const QString &key, bool value);
    void setNumber(const QString &key, double value);
    void setString(const QString &key, const QString &value);
    void setData(const QString &key, const QByteArray &value);
    void setStringList(const QString &key, const QStringList &value);
    void remove(const QString &key);

    QSettings *store() const { return m_store; }

private:
    QSettings *m_store;
};
