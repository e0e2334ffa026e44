// Preferences: loading at start-up, writing on every change, vocabulary and model removal.
#include "app/AppState.h"
#include "app/Preferences.h"
#include "speech/ModelStore.h"
#include "speech/WarmRunner.h"

#include <QCollator>

#include <algorithm>

void AppState::loadPreferences()
{
    const Preferences &p = *m_defaults;
    m_onboardingComplete = p.onboardingComplete();
    m_selectedModelID = p.selectedModelID();
    m_automaticPaste = p.automaticPaste();
    m_overlayAppearance = p.overlayAppearance();
    m_overlaySize = p.overlaySize();
    m_completionSound = p.completionSound();
    m_toggleShortcut = p.shortcut(PreferenceKeys::toggleShortcut, KeyboardShortcutSetting::defaultToggle());
    m_pushToTalkShortcut =
        p.shortcut(PreferenceKeys::pushToTalkShortcut, KeyboardShortcutSetting::defaultPushToTalk());
    m_cancelShortcut = p.cancelShortcut();
    m_agentShortcut = p.shortcut(PreferenceKeys::agentShortcut, KeyboardShortcutSetting::defaultAgent());
    m_agentScreenshotShortcut =
        p.shortcut(PreferenceKeys::agentScreenshotShortcut, KeyboardShortcutSetting::defaultAgentScreenshot());
    loadAgentSettings();
    m_vocabulary = p.vocabulary();
    m_speechKeepSeconds = p.speechKeepSeconds();
    if (m_s.speechHost)
        m_s.speechHost->setKeepSeconds(m_speechKeepSeconds);
}

void AppState::setSpeechKeepSeconds(double seconds)
{
    const double kept = seconds < 0 ? WarmRunner::keepAlways : seconds;
    const bool changed = m_speechKeepSeconds != kept;
    m_speechKeepSeconds = kept;
    m_defaults->setNumber(PreferenceKeys::speechKeepSeconds, kept);
    if (m_s.speechHost)
        m_s.speechHost->setKeepSeconds(kept);
    if (changed)
        emit preferencesChanged();
}

QString AppState::speechDevice() const { return m_s.speechHost ? m_s.speechHost->device() : QString(); }

bool AppState::hasWarmSpeechEngine() const { return m_s.speechHost && !m_s.speechHost->isHostUnusable(); }

void AppState::setOnboardingComplete(bool complete)
{
    const bool changed = m_onboardingComplete != complete;
    m_onboardingComplete = complete;
    m_defaults->setBool(PreferenceKeys::onboardingComplete, complete);
    if (changed)
        emit preferencesChanged();
}

void AppState::setSelectedModelID(const QString &id)
{
    const bool changed = m_selectedModelID != id;
    m_selectedModelID = id;
    m_defaults->setString(PreferenceKeys::selectedModelID, id);
    // A model kept loaded is swapped for the new choice now rather than at the next recording.
    if (changed && m_s.speechHost && m_s.speechHost->isHostRunning())
        if (const auto model = selectedModel(); model && ModelStore::isInstalled(*model))
            m_s.runner->prepare(*model, ModelStore::installedPath(*model));
    if (changed)
        emit selectedModelIDChanged();
}

void AppState::setAutomaticPaste(bool on)
{
    const bool changed = m_automaticPaste != on;
    m_automaticPaste = on;
    m_defaults->setBool(PreferenceKeys::automaticPaste, on);
    if (changed)
        emit preferencesChanged();
}

void AppState::setOverlayAppearance(OverlayAppearance appearance)
{
    const bool changed = m_overlayAppearance != appearance;
    m_overlayAppearance = appearance;
    m_defaults->setString(PreferenceKeys::overlayAppearance, rawValue(appearance));
    if (changed)
        emit preferencesChanged();
}

void AppState::setOverlaySize(OverlaySize size)
{
    const bool changed = m_overlaySize != size;
    m_overlaySize = size;
    m_defaults->setString(PreferenceKeys::overlaySize, rawValue(size));
    if (changed)
        emit preferencesChanged();
}

void AppState::setCompletionSound(CompletionSound sound)
{
    const bool changed = m_completionSound != sound;
    m_completionSound = sound;
    m_defaults->setString(PreferenceKeys::completionSound, rawValue(sound));
    if (changed)
        emit preferencesChanged();
}

void AppState::setVocabulary(const QStringList &terms)
{
    const bool changed = m_vocabulary != terms;
    m_vocabulary = terms;
    storeVocabulary();
    if (changed)
        emit preferencesChanged();
}

void AppState::storeVocabulary() { m_defaults->setStringList(PreferenceKeys::vocabulary, m_vocabulary); }

void AppState::addVocabulary(const QString &term)
{
    const QString trimmed = term.trimmed();
    if (trimmed.isEmpty())
        return;
    const bool present = std::any_of(m_vocabulary.cbegin(), m_vocabulary.cend(), [&](const QString &existing) {
        return existing.compare(trimmed, Qt::CaseInsensitive) == 0;
    });
    if (present)
        return;
    m_vocabulary.append(trimmed);
    storeVocabulary();
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(m_vocabulary.begin(), m_vocabulary.end(),
                     [&](const QString &a, const QString &b) { return collator.compare(a, b) < 0; });
    storeVocabulary();
    emit preferencesChanged();
}

void AppState::removeVocabulary(const QString &term)
{
    const qsizetype removed = m_vocabulary.removeAll(term);
    storeVocabulary();
    if (removed > 0)
        emit preferencesChanged();
}

Result<void, QString> AppState::removeModel(const SpeechModel &model)
{
    if (model.id == QLatin1String("pocket"))
        return Result<void, QString>::success();
    if (model.id == m_selectedModelID)
        setSelectedModelID(QStringLiteral("pocket"));
    return m_s.modelStore->deleteModel(model);
}

void AppState::resetOverlayPosition()
{
    m_defaults->remove(PreferenceKeys::overlayOriginX);
    m_defaults->remove(PreferenceKeys::overlayOriginY);
    m_s.overlay->setDefaultPosition();
}
