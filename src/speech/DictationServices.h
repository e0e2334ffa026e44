#pragma once

// What the Dictation flow needs of the recorder, the transcription runner and the history,
// so the flow runs against fakes in tests and the real parts in the program.

#include "speech/HistoryItem.h"
#include "speech/LoudestWindow.h"
#include "speech/OrvelError.h"
#include "speech/SpeechModel.h"
#include "platform/Result.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

class DictationRecorder {
public:
    struct Recording {
        QString filePath;
        double duration = 0;
        // The loudest tenth of a second in dBFS; nothing when not measured.
        std::optional<double> loudestPower = std::nullopt;

        // Nobody spoke: not worth handing to an engine.
        bool isSilent() const { return loudestPower && *loudestPower < silenceLevel; }
    };
    virtual ~DictationRecorder() = default;

    // Called on the main thread when a running recording breaks off (its device went away),
    // with the text for the user. The recording is still to be cancelled or stopped.
    std::function<void(const QString &message)> onFailure;

    // Begins recording into a new temporary WAV file; the error text is shown to the user.
    virtual Result<QString, QString> start() = 0;
    // The finished recording, or nothing when none was active.
    virtual std::optional<Recording> stop() = 0;
    // Stops and discards.
    virtual void cancel() = 0;
    // Removes working files left by an earlier run.
    virtual void cleanupTemporaryRecordings() = 0;
};

class TranscriptionRunner {
public:
    // Fractions 0…1, from any thread.
    using Progress = std::function<void(double)>;
    virtual ~TranscriptionRunner() = default;
    virtual QCoro::Task<Result<QString, OrvelError>> transcribe(QString audioPath, SpeechModel model,
                                                                 QString modelPath, QStringList vocabulary,
                                                                 Progress progress) = 0;
    // A recording for `model` has begun: an engine that keeps models loaded starts loading it now,
    // so loading overlaps with speaking.
    virtual void prepare(const SpeechModel &model, const QString &modelPath)
    {
        Q_UNUSED(model);
        Q_UNUSED(modelPath);
    }
};

class TranscriptHistory {
public:
    virtual ~TranscriptHistory() = default;
    // Newest first.
    virtual const QList<HistoryItem> &items() const = 0;
    virtual void insertFront(const HistoryItem &item) = 0;
    // The error is a sentence for the user; the items stay in memory either way.
    virtual Result<void, QString> save() = 0;
};
