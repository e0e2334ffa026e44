#include "AppPaths.h"

#include <QDir>
#include <QMutex>
#include <QStandardPaths>

#include <optional>

namespace AppPaths {
namespace {

QMutex g_mutex;
std::optional<QString> g_root;

QString computeRoot()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return QDir::cleanPath(base + QStringLiteral("/Orvel Raza"));
}

QString join(const QString &a, const QString &b) { return a + QLatin1Char('/') + b; }

} // namespace

QString root()
{
    QMutexLocker lock(&g_mutex);
    if (!g_root)
        g_root = computeRoot();
    return *g_root;
}

void reset()
{
    QMutexLocker lock(&g_mutex);
    g_root.reset();
}

QString models() { return join(root(), QStringLiteral("Models")); }
QString modelFile(const QString &fileName) { return join(models(), fileName); }
QString agentModels() { return join(root(), QStringLiteral("AgentModels")); }
QString agentData() { return join(root(), QStringLiteral("Agent")); }
QString agentAttachments() { return join(agentData(), QStringLiteral("Attachments")); }
QString agentConversations() { return join(agentData(), QStringLiteral("conversations.json")); }
QString agentSessions() { return join(agentData(), QStringLiteral("sessions.sqlite")); }
QString customAgentModels() { return join(agentData(), QStringLiteral("custom-models.json")); }
QString recordings() { return join(root(), QStringLiteral("Recordings")); }
QString temporaryRecordings() { return join(root(), QStringLiteral("TemporaryRecordings")); }
QString history() { return join(root(), QStringLiteral("history.json")); }

Result<void, QString> prepare()
{
    const QString order[] = {models(), agentModels(), agentData(), agentAttachments(), recordings(),
                             temporaryRecordings()};
    for (const QString &dir : order) {
        if (QFileInfo(dir).isDir())
            continue;
        if (!QDir().mkpath(dir))
            return QStringLiteral("The folder “%1” could not be created.").arg(dir);
    }
    return {};
}

} // namespace AppPaths
