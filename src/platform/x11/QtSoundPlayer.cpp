#include "QtSoundPlayer.h"

#include <QApplication>
#include <QSoundEffect>
#include <QUrl>

QtSoundPlayer::QtSoundPlayer(Locate locate) : m_locate(std::move(locate))
{
    // Loaded ahead, so the first completion is heard without delay.
    for (const char *name : {"Pop", "Glass", "Tink"})
        effect(QString::fromLatin1(name));
}

QtSoundPlayer::~QtSoundPlayer() = default;

QSoundEffect *QtSoundPlayer::effect(const QString &name)
{
    if (const auto it = m_effects.constFind(name); it != m_effects.constEnd())
        return it->get();
    const auto path = m_locate ? m_locate(name) : std::nullopt;
    if (!path)
        return nullptr;
    auto sound = std::make_shared<QSoundEffect>();
    sound->setSource(QUrl::fromLocalFile(*path));
    m_effects.insert(name, sound);
    return sound.get();
}

bool QtSoundPlayer::play(const QString &name, double volume)
{
    stop();
    QSoundEffect *sound = effect(name);
    if (!sound || sound->status() == QSoundEffect::Error)
        return false;
    sound->setVolume(float(volume));
    sound->play();
    m_active = sound;
    if (sound->status() != QSoundEffect::Ready) {
        // The answer to "does it play" is still coming; a failed load beeps in its place.
        m_loading = QObject::connect(sound, &QSoundEffect::statusChanged, sound, [this, sound] {
            if (sound->status() == QSoundEffect::Loading)
                return;
            QObject::disconnect(m_loading);
            if (sound->status() == QSoundEffect::Error && m_active == sound) {
                m_active = nullptr;
                beep();
            }
        });
    }
    return true;
}

void QtSoundPlayer::stop()
{
    QObject::disconnect(m_loading);
    if (m_active)
        m_active->stop();
    m_active = nullptr;
}

void QtSoundPlayer::beep() { QApplication::beep(); }
