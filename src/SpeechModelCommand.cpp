#include "SpeechModelCommand.h"

#include "speech/ModelStore.h"
#include "speech/ResourceLocator.h"
#include "speech/SpeechEngineInstaller.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>
#include <cstring>

#include <unistd.h>

namespace {

constexpr const char *kOption = "--download-speech-model";

void say(FILE *stream, const QString &line) { std::fprintf(stream, "%s\n", line.toLocal8Bit().constData()); }

QCoro::Task<> fetch(ModelStore &store, SpeechModel model, QString destination, std::optional<Result<void, QString>> &out)
{
    out.emplace(co_await store.downloadTo(std::move(model), std::move(destination)));
    QCoreApplication::quit();
}

} // namespace

std::optional<int> runSpeechModelCommand(int argc, char **argv)
{
    int at = 1;
    while (at < argc && std::strcmp(argv[at], kOption) != 0)
        ++at;
    if (at == argc)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Orvel Raza"));
    QCoreApplication::setApplicationName(QStringLiteral("OrvelPlus"));
    const QStringList args = QCoreApplication::arguments();
    const auto model = at + 1 < args.size() ? SpeechModel::withID(args[at + 1]) : std::nullopt;
    if (!model) {
        QStringList ids;
        for (const SpeechModel &m : SpeechModel::catalog())
            ids << m.id;
        say(stderr, QStringLiteral("Usage: OrvelPlus %1 MODEL [FOLDER], MODEL one of: %2")
                        .arg(QLatin1String(kOption), ids.join(QStringLiteral(", "))));
        return 2;
    }
    const QString folder = at + 2 < args.size() ? QDir(args[at + 2]).absolutePath()
                                                : ResourceLocator::installRoot() + QStringLiteral("/share/orvel-raza");
    const QString destination = folder + QLatin1Char('/') + model->fileName;
    if (QFileInfo::exists(destination)) {
        say(stdout, QStringLiteral("%1 speech model: already in %2").arg(model->name, destination));
        return 0;
    }
    if (!QDir().mkpath(folder)) {
        say(stderr, QStringLiteral("%1 speech model: the folder %2 cannot be made").arg(model->name, folder));
        return 1;
    }

    ModelStore store;
    // Set-up waits for this: a host that does not answer should not hold it up for long.
    store.setTransferTimeout(20000);
    if (::isatty(STDERR_FILENO)) {
        QObject::connect(&store, &ModelStore::progressChanged, &store, [&store, id = model->id, name = model->name] {
            std::fprintf(stderr, "\rDownloading the %s speech model: %3d%%", name.toLocal8Bit().constData(),
                         int(store.progress().value(id) * 100));
        });
    }
    std::optional<Result<void, QString>> result;
    QCoro::Task<> running = fetch(store, *model, destination, result);
    if (!result)
        app.exec();
    if (::isatty(STDERR_FILENO))
        std::fprintf(stderr, "\r\033[K");
    if (!result->ok()) {
        say(stderr, QStringLiteral("%1 speech model: not downloaded from %2 (%3); Dictation will ask for a download")
                        .arg(model->name, model->url.host(), result->error()));
        return 1;
    }
    say(stdout, QStringLiteral("%1 speech model: saved to %2").arg(model->name, destination));
    return 0;
}

std::optional<int> runSpeechEnginesCommand(int argc, char **argv)
{
    int at = 1;
    while (at < argc && std::strcmp(argv[at], "--get-speech-engines") != 0)
        ++at;
    if (at == argc)
        return std::nullopt;

    QCoreApplication app(argc, argv);
    if (const auto found = ResourceLocator::bundledExecutable(QStringLiteral("whisper-cli"))) {
        say(stdout, QStringLiteral("Speech engines: already found (%1)").arg(*found));
        return 0;
    }
    SpeechEngineInstaller installer;
    QString shown;
    QObject::connect(&installer, &SpeechEngineInstaller::changed, &installer, [&] {
        QString line = installer.stage();
        if (installer.progress() >= 0)
            line += QStringLiteral(" %1%").arg(int(installer.progress() * 100));
        if (!line.isEmpty() && line != shown)
            say(stderr, line);
        shown = line;
    });
    bool succeeded = false;
    QObject::connect(&installer, &SpeechEngineInstaller::finished, &app, [&](bool ok) {
        succeeded = ok;
        QCoreApplication::quit();
    });
    installer.start();
    if (installer.running())
        app.exec();
    if (!succeeded) {
        say(stderr, installer.error());
        return 1;
    }
    say(stdout, QStringLiteral("Speech engines: %1").arg(ResourceLocator::userEngineFolder()));
    return 0;
}
