#include "ResourceLocator.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ResourceLocator {
namespace {

QString g_installRoot;

bool exists(const QString &path) { return QFileInfo::exists(path); }

} // namespace

bool isExecutableFile(const QString &path)
{
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.isExecutable();
}

QString installRoot()
{
    if (!g_installRoot.isEmpty())
        return g_installRoot;
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
}

void setInstallRoot(const QString &root) { g_installRoot = root; }

std::optional<QString> file(const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    const QString shipped = installRoot() + QStringLiteral("/share/orvel-raza/") + name;
    if (exists(shipped))
        return shipped;
    const QStringList dataDirs = QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation);
    for (const QString &dir : dataDirs) {
        const QString candidate = dir + QStringLiteral("/orvel-raza/") + name;
        if (exists(candidate))
            return candidate;
    }
    return std::nullopt;
}

QString overrideVariable(const QString &name)
{
    QString upper = name.toUpper();
    upper.replace(QLatin1Char('-'), QLatin1Char('_'));
    return QStringLiteral("ORVEL_") + upper + QStringLiteral("_PATH");
}

std::optional<QString> bundledExecutable(const QString &name)
{
    if (name.isEmpty())
        return std::nullopt;
    const QString override = qEnvironmentVariable(overrideVariable(name).toUtf8().constData());
    if (!override.isEmpty())
        return override;
    const QString auxiliary = installRoot() + QStringLiteral("/libexec/orvel-raza/") + name;
    if (isExecutableFile(auxiliary))
        return auxiliary;
    if (auto resource = file(name))
        return resource;
    const QString onPath = QStandardPaths::findExecutable(name);
    if (!onPath.isEmpty())
        return onPath;
    const QString own = userEngineFolder() + QStringLiteral("/current/launch/") + name;
    if (isExecutableFile(own))
        return own;
    return std::nullopt;
}

QString userEngineFolder()
{
    const QString set = qEnvironmentVariable("ORVEL_ENGINE_CACHE");
    if (!set.isEmpty())
        return set;
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty())
        cache = QDir::homePath() + QStringLiteral("/.cache");
    return cache + QStringLiteral("/orvel-raza/engines");
}

} // namespace ResourceLocator
