#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

// Writes a download's bytes to its staged file, and hashes them, on a thread of its own, so the
// thread that receives them only receives. At most a few chunks wait; past that full() asks the
// receiver to hold back until `roomAgain` (called on the writing thread) says there is space.
class StagedFileWriter {
public:
    StagedFileWriter(const QString &path, bool computeSha256, std::function<void()> roomAgain);
    // Stops at the next chunk and waits for the thread.
    ~StagedFileWriter();
    StagedFileWriter(const StagedFileWriter &) = delete;
    StagedFileWriter &operator=(const StagedFileWriter &) = delete;

    // The error text, or empty once the file is open and the thread runs.
    QString open();
    // A buffer to fill, reused from earlier chunks where possible.
    QByteArray takeBuffer(qsizetype size);
    void push(QByteArray chunk, qsizetype used);
    bool full() const;
    // Whether a write has failed; the rest is then dropped.
    bool failed() const;

    struct Written {
        QString error; // empty on success
        qint64 size = 0;
        QString sha256; // empty unless asked for
    };
    // Waits for what is queued (a few chunks at most), then flushes and closes the file.
    Written finish();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
