// Imports of GGUF files the user picks: checked, copied into a folder of their own, proven by a
// chat request to llama-server and only then registered.
#include "models/AgentModelStore.h"

#include "models/BackgroundWork.h"
#include "models/GGUFHeader.h"
#include "models/LlamaServerCheck.h"
#include "platform/Sha256.h"
#include "platform/StoreFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QUuid>

#include <cstdio>

namespace {

using Outcome = Result<AgentModelDescriptor, QString>;

constexpr qint64 kLargeModelBytes = 8000000000LL;
constexpr qint64 kChatTemplateWindow = 16777216;
const QString kLargeModelWarning = QStringLiteral("This model is larger than 8 GB and may cause memory pressure on a 16 GB Mac.");
const QString kProjectorWarning = QStringLiteral("The projector failed multimodal validation. The model was imported as text-only.");

struct CopiedFile {
    QString error; // empty on success
    qint64 size = 0;
    QString sha256;
    bool hasChatTemplate = false;
};

// One pass over the source: written to the copy, hashed, and its first 16 MiB searched for the
// chat template key.
CopiedFile copyFile(const QString &from, const QString &to, const std::function<bool()> &stopped)
{
    CopiedFile out;
    QFile source;
    QFile target(to);
    // The file may have been swapped for a FIFO since it was checked.
    const auto fd = RegularFile::open(from);
    if (!fd || !source.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        out.error = QStringLiteral("“%1” could not be read: %2").arg(from, fd ? source.errorString() : fd.error());
        return out;
    }
    if (!target.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        out.error = QStringLiteral("“%1” could not be written: %2").arg(to, target.errorString());
        return out;
    }
    Sha256 hash;
    QByteArray head;
    QByteArray buffer(1048576, Qt::Uninitialized);
    for (;;) {
        if (stopped()) {
            out.error = QStringLiteral("The import was stopped.");
            return out;
        }
        const qint64 n = source.read(buffer.data(), buffer.size());
        if (n < 0) {
            out.error = QStringLiteral("“%1” could not be read: %2").arg(from, source.errorString());
            return out;
        }
        if (n == 0)
            break;
        if (target.write(buffer.constData(), n) != n) {
            out.error = QStringLiteral("“%1” could not be written: %2").arg(to, target.errorString());
            return out;
        }
        hash.update(buffer.constData(), n);
        if (head.size() < kChatTemplateWindow)
            head.append(buffer.constData(), std::min<qint64>(n, kChatTemplateWindow - head.size()));
        out.size += n;
    }
    if (!target.flush()) {
        out.error = QStringLiteral("“%1” could not be written: %2").arg(to, target.errorString());
        return out;
    }
    out.sha256 = hash.finalHex();
    out.hasChatTemplate = head.contains("tokenizer.chat_template");
    return out;
}

bool hasGGUFExtension(const QString &path) { return QFileInfo(path).suffix().compare(QLatin1String("gguf"), Qt::CaseInsensitive) == 0; }

// The reason a file cannot be imported as a model (or projector), or nothing. Reads the header:
// run it off the main thread.
std::optional<QString> rejection(const QString &path, bool projector, const GGUFHeader::Stopped &stopped)
{
    const QString invalid = projector ? QStringLiteral("Choose a valid GGUF vision projector.")
                                      : QStringLiteral("Choose a valid GGUF model file.");
    if (!hasGGUFExtension(path))
        return invalid;
    const auto magic = GGUFHeader::hasMagic(path);
    if (!magic.ok())
        return magic.error();
    if (!magic.value())
        return invalid;
    const auto header = GGUFHeader::readFile(path, stopped);
    if (!header.ok())
        return header.error() == GGUFHeader::stoppedMessage ? QStringLiteral("The import was stopped.")
                                                            : invalid + QLatin1Char(' ') + header.error();
    // A projector holds the vision encoder ("clip"), which llama-server cannot run as a model.
    if (!projector && header.value().architecture == QLatin1String("clip"))
        return invalid + QStringLiteral(" This file is a vision projector, not a model.");
    return std::nullopt;
}

QString joined(const std::optional<QString> &first, const QString &second)
{
    return first ? *first + QLatin1Char(' ') + second : second;
}

} // namespace

QCoro::Task<Outcome> AgentModelStore::importGGUF(QString modelFile, std::optional<QString> projectorFile, QString displayName)
{
    m_importStop = std::make_shared<std::atomic<bool>>(false);
    const auto importStop = m_importStop;
    std::function<std::optional<QString>(const BackgroundWork::StopFlag &)> check =
        [modelFile, projectorFile, importStop](const BackgroundWork::StopFlag &stop) -> std::optional<QString> {
        const GGUFHeader::Stopped stopped = [&stop, importStop] { return stop || *importStop; };
        if (auto reason = rejection(modelFile, false, stopped))
            return reason;
        if (projectorFile)
            return rejection(*projectorFile, true, stopped);
        return std::nullopt;
    };
    auto checking = m_work->run(std::move(check));
    const std::optional<QString> rejected = co_await std::move(checking);
    if (m_closing || *importStop)
        co_return Outcome::failure(QStringLiteral("The import was stopped."));
    if (rejected)
        co_return Outcome::failure(*rejected);
    const QFileInfo modelInfo(modelFile);
    const qint64 size = modelInfo.size();
    setLastImportWarning(size > kLargeModelBytes ? std::optional(kLargeModelWarning) : std::nullopt);

    const QString id = QStringLiteral("custom-") + QUuid::createUuid().toString(QUuid::WithoutBraces).toLower();
    // Built under a hidden name and renamed into place once proven, so a half-made import never
    // looks like a model.
    const QString staging = modelsDirectory() + QStringLiteral("/.") + id + QStringLiteral(".importing");
    if (!QDir().mkpath(staging))
        co_return Outcome::failure(QStringLiteral("The folder “%1” could not be created.").arg(staging));
    m_importFolders.insert(staging);
    const auto fail = [&](const QString &message) {
        QDir(staging).removeRecursively();
        m_importFolders.remove(staging);
        return Outcome::failure(message);
    };
    const QString stopped = QStringLiteral("The import was stopped.");

    const QString modelName = safeFileName(modelInfo.fileName());
    const QString modelCopy = staging + QLatin1Char('/') + modelName;
    // Tasks and jobs are named, not temporaries of the co_await expression, which GCC 12 destroys twice.
    std::function<CopiedFile(const BackgroundWork::StopFlag &)> copyModel =
        [modelFile, modelCopy, importStop](const BackgroundWork::StopFlag &stop) {
            return copyFile(modelFile, modelCopy, [&] { return stop || *importStop; });
        };
    auto copying = m_work->run(std::move(copyModel));
    const CopiedFile copied = co_await std::move(copying);
    if (m_closing || *importStop)
        co_return fail(stopped);
    if (!copied.error.isEmpty())
        co_return fail(copied.error);

    auto textCheck = m_check->run(modelCopy, std::nullopt, false);
    const auto text = co_await std::move(textCheck);
    if (m_closing || *importStop)
        co_return fail(stopped);
    if (!text.ok())
        co_return fail(text.error().named ? text.error().message
                                          : QStringLiteral("The GGUF smoke test failed: ") + text.error().message);

    AgentModelDescriptor d;
    d.id = id;
    d.artifacts << AgentModelArtifact{modelName, QUrl::fromLocalFile(modelInfo.absoluteFilePath()), size, copied.sha256,
                                      AgentModelArtifact::Role::model};
    bool images = false;
    if (projectorFile) {
        const QFileInfo projectorInfo(*projectorFile);
        const QString projectorName = safeFileName(projectorInfo.fileName());
        const QString projectorCopy = staging + QLatin1Char('/') + projectorName;
        std::function<CopiedFile(const BackgroundWork::StopFlag &)> copyProjector =
            [from = *projectorFile, projectorCopy, importStop](const BackgroundWork::StopFlag &stop) {
                return copyFile(from, projectorCopy, [&] { return stop || *importStop; });
            };
        auto projectorCopying = m_work->run(std::move(copyProjector));
        const CopiedFile projector = co_await std::move(projectorCopying);
        if (m_closing || *importStop)
            co_return fail(stopped);
        if (!projector.error.isEmpty())
            co_return fail(projector.error);
        d.artifacts << AgentModelArtifact{projectorName, QUrl::fromLocalFile(projectorInfo.absoluteFilePath()),
                                          projectorInfo.size(), projector.sha256, AgentModelArtifact::Role::visionProjector};
        auto visionCheck = m_check->run(modelCopy, projectorCopy, true);
        const auto vision = co_await std::move(visionCheck);
        if (m_closing || *importStop)
            co_return fail(stopped);
        images = vision.ok();
        if (!images)
            setLastImportWarning(joined(m_lastImportWarning, kProjectorWarning));
    }

    const QString trimmed = displayName.trimmed();
    d.name = trimmed.isEmpty() ? modelInfo.completeBaseName() : trimmed;
    d.officialName = modelInfo.completeBaseName();
    d.organization = QStringLiteral("Custom");
    d.detail = copied.hasChatTemplate
                   ? QStringLiteral("Managed GGUF with a detected chat template and successful local smoke test.")
                   : QStringLiteral("Managed GGUF with a successful local smoke test. No embedded chat template was detected.");
    d.sizeLabel = QLocale().formattedDataSize(size, 2, QLocale::DataSizeSIFormat);
    d.license = QStringLiteral("User supplied");
    d.sourceRevision = QStringLiteral("Imported locally");
    d.provider = AgentModelProvider::llamaCPP;
    d.capabilities = {true, images};
    d.isCustom = true;
    d.recommendedFor16GB = size <= kLargeModelBytes;

    const QString folder = modelDirectory(d);
    if (::rename(QFile::encodeName(staging).constData(), QFile::encodeName(folder).constData()) != 0)
        co_return fail(QStringLiteral("The model could not be moved into “%1”.").arg(folder));
    m_importFolders.remove(staging);
    m_customModels << d;
    emit customModelsChanged();
    saveCustomModels();
    m_downloads.bumpRevision();
    co_return d;
}

void AgentModelStore::cancelImport()
{
    if (m_importStop)
        *m_importStop = true;
}
