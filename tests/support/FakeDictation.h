#pragma once

// Fakes of the Dictation collaborators: recorder, runner, history, overlay, window, cancel key.

#include "app/AppServices.h"
#include "speech/DictationServices.h"

#include <QFile>
#include <QObject>
#include <QStringList>

#include <qcoro/qcorosignal.h>

class FakeRecorder final : public DictationRecorder {
public:
    Result<QString, QString> start() override
    {
        ++starts;
        if (failure)
            return Result<QString, QString>::failure(*failure);
        recording = true;
        QFile f(filePath);
        f.open(QIODevice::WriteOnly);
        f.write("RIFF");
        return filePath;
    }
    std::optional<Recording> stop() override
    {
        ++stops;
        if (!recording || handBackNothing)
            return std::nullopt;
        recording = false;
        return Recording{filePath, duration, loudestPower};
    }
    // The device going away in the middle of a recording.
    void loseDevice(const QString &message)
    {
        if (onFailure)
            onFailure(message);
    }
    void cancel() override
    {
        ++cancels;
        recording = false;
        QFile::remove(filePath);
    }
    void cleanupTemporaryRecordings() override { ++cleanups; }

    QString filePath;
    double duration = 2.5;
    std::optional<double> loudestPower = -20.0; // speech
    std::optional<QString> failure;
    bool handBackNothing = false;
    bool recording = false;
    int starts = 0, stops = 0, cancels = 0, cleanups = 0;
};

// Holds every transcription until the test calls finish().
class FakeRunner final : public QObject, public TranscriptionRunner {
    Q_OBJECT
public:
    QCoro::Task<Result<QString, OrvelError>> transcribe(QString audioPath, SpeechModel model, QString modelPath,
                                                         QStringList vocabulary, Progress progress) override
    {
        calls << audioPath;
        lastModel = model;
        lastModelPath = modelPath;
        lastVocabulary = vocabulary;
        reportProgress = progress;
        auto finished = qCoro(this, &FakeRunner::released);
        co_await finished;
        co_return *pending;
    }
    void finish(Result<QString, OrvelError> result)
    {
        pending.emplace(std::move(result));
        emit released();
    }

    QStringList calls;
    SpeechModel lastModel;
    QString lastModelPath;
    QStringList lastVocabulary;
    Progress reportProgress;

signals:
    void released();

private:
    std::optional<Result<QString, OrvelError>> pending;
};

class FakeHistory final : public TranscriptHistory {
public:
    const QList<HistoryItem> &items() const override { return list; }
    void insertFront(const HistoryItem &item) override { list.prepend(item); }
    Result<void, QString> save() override
    {
        if (saveError)
            return *saveError;
        return {};
    }
    QList<HistoryItem> list;
    std::optional<QString> saveError;
};

class FakeOverlay final : public OverlayPresenter {
public:
    void show() override { visible = true; }
    void hide() override { ++hides; visible = false; }
    void setDefaultPosition() override { ++defaultPositions; }
    int hides = 0, defaultPositions = 0;
    bool visible = false;
};

class FakeMainWindow final : public MainWindowPresenter {
public:
    void bringForward() override { ++raises; }
    int raises = 0;
};

class FakeCancelShortcut final : public CancelShortcutControl {
public:
    void registerCancelHotKey() override { registered = true; }
    void unregisterCancelHotKey() override { registered = false; }
    bool registered = false;
};
