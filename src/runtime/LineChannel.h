#pragma once

#include <QByteArray>
#include <QObject>

class QSocketNotifier;

// Newline-framed messages over the process's standard input and output. Input is read without
// blocking, so the event loop keeps streaming while a request line is still arriving.
class LineChannel : public QObject {
    Q_OBJECT
public:
    explicit LineChannel(QObject *parent = nullptr);
    // One line, the line feed is added here. Blocks only while the reader's pipe is full.
    void writeLine(const QByteArray &line);

signals:
    void lineReceived(const QByteArray &line);
    void endOfInput();

private:
    void readAvailable();
    QSocketNotifier *m_notifier = nullptr;
    QByteArray m_buffer;
    bool m_closed = false;
};
