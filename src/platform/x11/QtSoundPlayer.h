#pragma once

#include "platform/SoundPlayer.h"

#include <QMap>
#include <QMetaObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QSoundEffect;

// The shipped completion sounds ("Pop", "Glass", "Tink") as WAV files, through QSoundEffect.
// A sound that cannot be loaded counts as missing, so the beep is heard instead.
class QtSoundPlayer : public SoundPlayer {
public:
    // Finds the file of a sound by its name ("Pop" → ".../sounds/Pop.wav").
    using Locate = std::function<std::optional<QString>(const QString &name)>;
    explicit QtSoundPlayer(Locate locate);
    ~QtSoundPlayer() override;

    bool play(const QString &name, double volume) override;
    void stop() override;
    void beep() override;

private:
    QSoundEffect *effect(const QString &name);

    Locate m_locate;
    QMap<QString, std::shared_ptr<QSoundEffect>> m_effects;
    QSoundEffect *m_active = nullptr;
    // Watches a sound that was still loading when asked to play.
    QMetaObject::Connection m_loading;
};
