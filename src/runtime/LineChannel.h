#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Newline-framed messages over the process's standard input and output. Input is read without
// blocking, so the event loop keeps streaming while a request line is still arriving.
class LineChannel : public QObject {
    Q_OBJECT
public:
    // A line longer than maxLineBytes is dropped as it arrives and reported by lineTooLong();
    // the next line is read as usual.
    explicit LineChannel(qsizetype maxLineBytes, QObject *parent = nullptr);
    // One line, the line feed is added here. Blocks only while the reader's pipe is full.
    void writeLine(const QByteArray &line);

signals:
    void lineReceived(const QByteArray &line);
    void lineTooLong();
    void endOfInput();

private:
    void readAvailable();
    void take(const char *bytes, qsizetype size);
    qsizetype m_maxLineBytes;
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
    // Inside a line that is too long: everything up to its line feed goes.
    bool m_discarding = false;
    bool m_closed = false;
};
