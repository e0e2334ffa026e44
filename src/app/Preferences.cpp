#include "app/Preferences.h"

#include "platform/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QVariant>

namespace {

// The configuration file stores every value as text, so a boolean may come back as "true".
std::optional<bool> readBool(const QVariant &v)
{
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString();
        if (s == QLatin1String("true"))
            return true;
        if (s == QLatin1String("false"))
            return false;
    }
    return std::nullopt;
}

std::optional<QString> readString(const QVariant &v)
{
    if (v.typeId() == QMetaType::QString)
        return v.toString();
    return std::nullopt;
}

} // namespace

Preferences::Preferences(QSettings *store) : m_store(store) {}

std::unique_ptr<QSettings> Preferences::openDefaultStore()
{
    // The path QSettings("Orvel Raza", "OrvelPlus") uses, computed afresh so that a changed
    // XDG_CONFIG_HOME is honoured (QSettings remembers the first one it saw).
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    auto store = std::make_unique<QSettings>(config + QStringLiteral("/Orvel Raza/OrvelPlus.conf"), QSettings::IniFormat);
    if (const auto aside = keepAsideUnreadableValues(*store)) {
        StorageNotices::instance().post(
            *aside, QStringLiteral("Some settings in “%1” could not be read and were reset to their defaults. The "
                                   "original file was kept as “%2”.")
                        .arg(store->fileName(), *aside));
    }
    return store;
}

std::optional<QString> Preferences::keepAsideUnreadableValues(QSettings &store)
{
    QStringList unreadable;
    for (const QString &key : store.allKeys()) {
        if (!store.value(key).isValid())
            unreadable << key;
    }
    if (unreadable.isEmpty())
        return std::nullopt;
    const QString path = store.fileName();
    QString aside = path + QStringLiteral(".unreadable");
    for (int n = 2; RegularFile::occupied(aside); ++n)
        aside = path + QStringLiteral(".unreadable-") + QString::number(n);
    // Without a copy the values stay: the store only writes when the user changes something.
    if (!QFile::copy(path, aside))
        return std::nullopt;
    for (const QString &key : unreadable)
        store.remove(key);
    store.sync();
    return aside;
}

bool Preferences::onboardingComplete() const
{
    return readBool(m_store->value(PreferenceKeys::onboardingComplete)).value_or(false);
}

QString Preferences::selectedModelID() const
{
    return readString(m_store->value(PreferenceKeys::selectedModelID)).value_or(QStringLiteral("pocket"));
}

bool Preferences::automaticPaste() const
{
    return readBool(m_store->value(PreferenceKeys::automaticPaste)).value_or(true);
}

OverlayAppearance Preferences::overlayAppearance() const
{
    const auto raw = readString(m_store->value(PreferenceKeys::overlayAppearance));
    return raw ? overlayAppearanceFromRawValue(*raw).value_or(OverlayAppearance::automatic)
               : OverlayAppearance::automatic;
}

OverlaySize Preferences::overlaySize() const
{
    const auto raw = readString(m_store->value(PreferenceKeys::overlaySize));
    return raw ? overlaySizeFromRawValue(*raw).value_or(OverlaySize::classic) : OverlaySize::classic;
}

CompletionSound Preferences::completionSound() const
{
    const auto raw = readString(m_store->value(PreferenceKeys::completionSound));
    return raw ? completionSoundFromRawValue(*raw).value_or(CompletionSound::softPop) : CompletionSound::softPop;
}

std::optional<QByteArray> Preferences::data(const QString &key) const
{
    const QVariant v = m_store->value(key);
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    // A hand-edited file holds the JSON as plain text.
    if (v.typeId() == QMetaType::QString)
        return v.toString().toUtf8();
    return std::nullopt;
}

KeyboardShortcutSetting Preferences::shortcut(const QString &key, const KeyboardShortcutSetting &fallback) const
{
    const auto bytes = data(key);
    if (!bytes)
        return fallback;
    return KeyboardShortcutSetting::fromJson(*bytes).value_or(fallback);
}

KeyboardShortcutSetting Preferences::cancelShortcut() const
{
    return shortcut(PreferenceKeys::cancelShortcut,
                    shortcut(PreferenceKeys::finishShortcut, KeyboardShortcutSetting::defaultCancel()));
}

QStringList Preferences::vocabulary() const
{
    const QVariant v = m_store->value(PreferenceKeys::vocabulary);
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList();
    // The file format writes a one-element list as a plain value.
    if (v.typeId() == QMetaType::QString)
        return {v.toString()};
    return {};
}

double Preferences::speechKeepSeconds() const
{
    bool ok = false;
    const double seconds = m_store->value(PreferenceKeys::speechKeepSeconds).toDouble(&ok);
    return ok ? seconds : 300;
}

void Preferences::setNumber(const QString &key, double value)
{
    m_store->setValue(key, value);
    m_store->sync();
}

void Preferences::setBool(const QString &key, bool value)
{
    m_store->setValue(key, value);
    m_store->sync();
}

void Preferences::setString(const QString &key, const QString &value)
{
    m_store->setValue(key, value);
    m_store->sync();
}

void Preferences::setData(const QString &key, const QByteArray &value)
{
    m_store->setValue(key, value);
    m_store->sync();
}

void Preferences::setStringList(const QString &key, const QStringList &value)
{
    m_store->setValue(key, value);
    m_store->sync();
}

void Preferences::remove(const QString &key)
{
    m_store->remove(key);
    m_store->sync();
}
