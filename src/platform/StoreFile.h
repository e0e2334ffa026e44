#pragma once

#include "platform/Result.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <optional>

// Opening and reading files the user may have replaced by anything: only regular files are
// read, opening never blocks (a FIFO or a device named like the file) and nothing is read past
// the size the file had when it was opened (a symlink to /dev/zero).
namespace RegularFile {
// A descriptor open for reading, or why the path cannot be read as a file.
Result<int, QString> open(const QString &path);
// The whole file when it is a regular file of at most maxBytes.
Result<QByteArray, QString> read(const QString &path, qint64 maxBytes);
// Whether anything, a dangling symlink included, is at the path.
bool occupied(const QString &path);
// Renames the path to path + ".unreadable", or ".unreadable-2", -3… when those are taken; an
// earlier copy is never replaced. The new path.
Result<QString, QString> keepAside(const QString &path);
} // namespace RegularFile

// Messages about the user's files for the main window: a file kept aside, a store that cannot
// save. Each has a key, so a repeated failure replaces its own message.
class StorageNotices final : public QObject {
    Q_OBJECT
public:
    static StorageNotices &instance();
    void post(const QString &key, const QString &text);
    void clear(const QString &key);
    QStringList texts() const;
    QStringList keys() const { return m_keys; }

signals:
    void changed();

private:
    QStringList m_keys;
    QStringList m_texts;
};

// One JSON file owned by a store whose memory is authoritative: read once, rewritten whole on
// every change. A file that could not be read or decoded is never replaced: the first save keeps
// it aside and tells the user where. A save that fails is reported and tried again later with
// whatever the store then holds.
class StoreFile final {
public:
    // `what` names the contents for the user, e.g. "Dictation history".
    StoreFile(QString path, QString what);

    // The bytes, or nothing when the file is missing or could not be read.
    std::optional<QByteArray> load();
    // The loaded bytes did not decode: the file must not be replaced by the next save.
    void rejectLoaded();
    // Called some time after a failed save; it should call save() with the current contents.
    std::function<void()> retry;
    // The error is a sentence for the user.
    Result<void, QString> save(const QByteArray &bytes);

    const QString &path() const { return m_path; }
    static constexpr qint64 maxBytes = 256LL * 1024 * 1024;
    static constexpr int retryMilliseconds = 15000;

private:
    void failed(const QString &message);
    QString m_path;
    QString m_what;
    // The file at the path is the one this store read or wrote itself.
    bool m_owned = false;
    QTimer m_retry;
};
