#include "models/AgentModelStore.h"

#include "models/BackgroundWork.h"
#include "models/LlamaServerCheck.h"
#include "platform/FileDownloader.h"
#include "platform/StoreFile.h"
#include "speech/AppPaths.h"
#include "speech/ResourceLocator.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

AgentModelStore::AgentModelStore(QObject *parent)
    : QObject(parent), m_downloader(std::make_unique<FileDownloader>()), m_work(std::make_unique<BackgroundWork>()),
      m_check(std::make_unique<LlamaServerCheck>()),
      m_file(std::make_unique<StoreFile>(AppPaths::customAgentModels(), QStringLiteral("list of imported models")))
{
    m_file->retry = [this] { saveCustomModels(); };
    connect(&m_downloads, &DownloadLedger::progressChanged, this, &AgentModelStore::progressChanged);
    connect(&m_downloads, &DownloadLedger::activeDownloadsChanged, this, &AgentModelStore::activeDownloadsChanged);
    connect(&m_downloads, &DownloadLedger::revisionChanged, this, &AgentModelStore::revisionChanged);
    (void)AppPaths::prepare();
    removeAbandonedImports();
    loadCustomModels();
    loadServers();
}

AgentModelStore::~AgentModelStore()
{
    // The workers end their runs now (servers reaped, threads joined, transfers aborted); the
    // downloads and imports waiting on them stop and remove what they were filling.
    m_closing = true;
    m_check.reset();
    m_work.reset();
    m_downloader.reset();
    for (const QString &folder : std::as_const(m_importFolders))
        QDir(folder).removeRecursively();
}

void AgentModelStore::setHealthPolling(int rounds, int pauseMilliseconds) { m_check->setHealthPolling(rounds, pauseMilliseconds); }

int AgentModelStore::runningValidationServers() const { return m_check->runningServers(); }

QList<AgentModelDescriptor> AgentModelStore::allModels() const
{
    return AgentModelDescriptor::catalog() + m_customModels;
}

std::optional<AgentModelDescriptor> AgentModelStore::descriptor(const QString &id) const
{
    if (auto entry = AgentModelDescriptor::catalogEntry(id))
        return entry;
    for (const auto &d : m_customModels)
        if (d.id == id)
            return d;
    if (const auto server = serverForModel(id))
        return server->descriptor();
    return std::nullopt;
}

QString AgentModelStore::modelsDirectory() { return AppPaths::agentModels(); }

QString AgentModelStore::modelDirectory(const AgentModelDescriptor &model)
{
    return modelsDirectory() + QLatin1Char('/') + model.id;
}

bool AgentModelStore::isAvailable(const AgentModelDescriptor &model)
{
    if (model.provider != AgentModelProvider::llamaCPP)
        return true;
    if (model.artifacts.isEmpty())
        return false;
    const QString folder = modelDirectory(model);
    for (const auto &a : model.artifacts)
        if (!QFileInfo::exists(folder + QLatin1Char('/') + a.fileName))
            return false;
    return true;
}

std::optional<QString> AgentModelStore::modelPath(const AgentModelDescriptor &model)
{
    const auto artifact = model.modelArtifact();
    if (!artifact)
        return std::nullopt;
    return modelDirectory(model) + QLatin1Char('/') + artifact->fileName;
}

std::optional<QString> AgentModelStore::projectorPath(const AgentModelDescriptor &model)
{
    const auto artifact = model.projectorArtifact();
    if (!artifact || !model.capabilities.images)
        return std::nullopt;
    return modelDirectory(model) + QLatin1Char('/') + artifact->fileName;
}

std::optional<QString> AgentModelStore::llamaServerPath()
{
    return ResourceLocator::bundledExecutable(QStringLiteral("llama-server"));
}

void AgentModelStore::setLastImportWarning(std::optional<QString> warning)
{
    if (m_lastImportWarning == warning)
        return;
    m_lastImportWarning = std::move(warning);
    emit lastImportWarningChanged();
}

void AgentModelStore::removeAbandonedImports()
{
    // An import interrupted by a crash leaves its hidden folder behind; nothing refers to it.
    QDir folder(modelsDirectory());
    const QStringList names = folder.entryList({QStringLiteral(".custom-*.importing")}, QDir::Dirs | QDir::Hidden);
    for (const QString &name : names)
        QDir(folder.filePath(name)).removeRecursively();
}

void AgentModelStore::loadCustomModels()
{
    QList<AgentModelDescriptor> decoded;
    if (const auto bytes = m_file->load()) {
        if (auto list = AgentModelDescriptor::listFromJson(*bytes))
            decoded = std::move(*list);
        else
            m_file->rejectLoaded(); // kept aside by the next save, so the records can be recovered
    }
    QList<AgentModelDescriptor> kept;
    for (const auto &d : std::as_const(decoded))
        if (d.provider != AgentModelProvider::llamaCPP || isAvailable(d))
            kept << d;
    m_customModels = kept;
    emit customModelsChanged();
}

void AgentModelStore::saveCustomModels()
{
    QJsonArray list;
    for (const auto &d : std::as_const(m_customModels))
        list.append(d.toJson());
    (void)m_file->save(QJsonDocument(list).toJson(QJsonDocument::Compact));
}

Result<void, QString> AgentModelStore::deleteModel(const AgentModelDescriptor &model)
{
    if (model.provider != AgentModelProvider::llamaCPP)
        return {};
    QDir folder(modelDirectory(model));
    if (folder.exists() && !folder.removeRecursively())
        return QStringLiteral("The model “%1” could not be removed completely.").arg(model.name);
    if (model.isCustom) {
        const qsizetype before = m_customModels.size();
        m_customModels.removeIf([&](const AgentModelDescriptor &d) { return d.id == model.id; });
        if (m_customModels.size() != before)
            emit customModelsChanged();
        saveCustomModels();
    }
    m_downloads.bumpRevision();
    return {};
}

QString AgentModelStore::safeFileName(const QString &name)
{
    QString out;
    for (const char32_t c : name.toUcs4()) {
        const bool keep = QChar::isLetterOrNumber(c) || QChar::isMark(c) || c == U'.' || c == U'_' || c == U'-';
        if (keep)
            out += QString::fromUcs4(&c, 1);
        else
            out += QLatin1Char('_');
    }
    return out;
}
