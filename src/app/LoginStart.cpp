#include "app/LoginStart.h"

#include "speech/ResourceLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace LoginStart {

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/orvel-raza.desktop");
}

bool enabled() { return QFileInfo(entryPath()).isFile(); }

std::optional<QString> setEnabled(bool on)
{
    const QString path = entryPath();
    if (!on) {
        if (QFileInfo::exists(path) && !QFile::remove(path))
            return QStringLiteral("Could not remove %1.").arg(path);
        return std::nullopt;
    }
    const auto shipped = ResourceLocator::file(QStringLiteral("autostart/orvel-raza.desktop"));
    QFile in(shipped.value_or(QString()));
    if (!shipped || !in.open(QIODevice::ReadOnly))
        return QStringLiteral("The autostart entry is not installed with the program.");
    QString entry = QString::fromUtf8(in.readAll());
    // This very program, wherever it was installed or built; TryExec lets desktops skip the entry
    // once the program is removed.
    const QString program = QCoreApplication::applicationFilePath();
    QString quoted = program;
    if (quoted.contains(QLatin1Char(' ')) || quoted.contains(QLatin1Char('"')))
        quoted = QLatin1Char('"') + QString(quoted).replace(QLatin1Char('"'), QStringLiteral("\\\"")) + QLatin1Char('"');
    entry.replace(QStringLiteral("\nExec=OrvelPlus"), QStringLiteral("\nTryExec=") + program + QStringLiteral("\nExec=") + quoted);
    QSaveFile out(path);
    if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly) || out.write(entry.toUtf8()) < 0 ||
        !out.commit())
        return QStringLiteral("Could not write %1.").arg(path);
    return std::nullopt;
}

} // namespace LoginStart
