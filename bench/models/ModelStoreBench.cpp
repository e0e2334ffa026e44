// Writing-model installation speed on one 1 GiB file, each measure paired with its reference in
// every round so load from elsewhere hits both alike:
//   hashing: Sha256::ofFile (what the store uses) against `openssl dgst -sha256`;
//   download: AgentModelStore::download from the stand-in model host (staged, hashed while the
//   bytes arrive, moved into place) against `curl -s -o /dev/null` from the same host, and for
//   scale against curl writing the file too.
// The download also reports hashing a gigabyte already in memory: no download that hashes its
// bytes can be faster than that, however fast the network.
// On a virtual machine that hands freed memory back to its host, the first gigabyte written after a
// pause takes fresh pages from the host and costs several times more; each timed run that writes
// the file therefore first writes and deletes a scratch gigabyte, so the store's writes and curl's
// find the memory alike.
// Run: build-bench/bench/model_store_bench [ROUNDS [sha256|download]]   (default 5 rounds of both;
// needs openssl and curl)
#include "BenchHost.h"
#include "models/AgentModelStore.h"
#include "platform/Sha256.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr qint64 kFileSize = 1073741824;
constexpr double kMiB = 1048576.0;

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool writeTestFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray block(1 << 20, Qt::Uninitialized);
    auto *words = reinterpret_cast<quint32 *>(block.data());
    for (qint64 done = 0; done < kFileSize; done += block.size()) {
        QRandomGenerator::global()->fillRange(words, block.size() / 4);
        if (file.write(block) != block.size())
            return false;
    }
    // On disk before any round: its writeback would otherwise run during the first rounds.
    return file.flush() && ::fsync(file.handle()) == 0;
}

// Writes and deletes a gigabyte, so that the timed run after it writes into memory the system
// already holds.
void takePagesBack(const QString &scratch)
{
    QFile file(scratch);
    if (file.open(QIODevice::WriteOnly)) {
        const QByteArray block(4 << 20, '\1');
        for (qint64 done = 0; done < kFileSize; done += block.size())
            file.write(block);
    }
    file.remove();
}

// Seconds the program took, or nothing when it failed; its standard output goes to `out`.
std::optional<double> timeProgram(const QString &program, const QStringList &arguments, QByteArray *out = nullptr)
{
    QProcess process;
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    if (!process.waitForFinished(300000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::fprintf(stderr, "%s failed: %s\n", qPrintable(program), process.readAllStandardError().constData());
        return std::nullopt;
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    if (out)
        *out = process.readAllStandardOutput();
    return seconds;
}

void report(const char *what, const std::vector<double> &ours, const std::vector<double> &reference, const char *refName)
{
    const double mine = double(kFileSize) / kMiB / median(ours);
    const double theirs = double(kFileSize) / kMiB / median(reference);
    std::printf("%-9s store %8.1f MiB/s   %-26s %8.1f MiB/s   ratio %5.1f %%  (medians of %zu)\n", what, mine, refName,
                theirs, 100.0 * mine / theirs, ours.size());
}

bool hashRounds(const QString &file, int rounds)
{
    std::vector<double> ours, reference;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer clock;
        clock.start();
        const auto digest = Sha256::ofFile(file);
        ours.push_back(double(clock.nsecsElapsed()) / 1e9);
        QByteArray printed;
        const auto openssl = timeProgram(QStringLiteral("openssl"), {QStringLiteral("dgst"), QStringLiteral("-sha256"), file}, &printed);
        if (!digest.ok() || !openssl || !printed.trimmed().endsWith(digest.value().toLatin1())) {
            std::fprintf(stderr, "hashing: the digests differ or a run failed\n");
            return false;
        }
        reference.push_back(*openssl);
    }
    report("sha256", ours, reference, "openssl dgst -sha256");
    return true;
}

// Runs the task under a plain event loop, as the program does.
template <typename T> T inEventLoop(QCoro::Task<T> task)
{
    std::optional<T> out;
    QEventLoop loop;
    auto wrap = [&](QCoro::Task<T> inner) -> QCoro::Task<> {
        out.emplace(co_await std::move(inner));
        loop.quit();
    };
    auto running = wrap(std::move(task));
    if (!out)
        loop.exec();
    return std::move(*out);
}

bool downloadRounds(const QString &file, const QString &digest, int rounds)
{
    BenchHost host(file, QStringLiteral("/bench/model.gguf"));
    if (!host.start()) {
        std::fprintf(stderr, "the stand-in host did not start\n");
        return false;
    }
    const QString url = host.baseUrl() + QStringLiteral("/bench/model.gguf?download=true");
    AgentModelDescriptor model;
    model.id = QStringLiteral("bench-model");
    model.name = model.id;
    model.provider = AgentModelProvider::llamaCPP;
    model.artifacts = {{QStringLiteral("model.gguf"), QUrl(url), kFileSize, digest, AgentModelArtifact::Role::model}};
    const QString scratch = QDir::tempPath() + QStringLiteral("/scratch");
    const QString copy = QDir::tempPath() + QStringLiteral("/curl-copy");
    const QByteArray block(4 << 20, '\1');

    AgentModelStore store;
    std::vector<double> ours, reference, written, hashing;
    for (int i = 0; i < rounds; ++i) {
        takePagesBack(scratch);
        QElapsedTimer clock;
        clock.start();
        const auto done = inEventLoop(store.download(model));
        ours.push_back(double(clock.nsecsElapsed()) / 1e9);
        if (!done.ok() || !AgentModelStore::isAvailable(model)) {
            std::fprintf(stderr, "download: %s\n", done.ok() ? "not installed" : qPrintable(done.error()));
            return false;
        }
        (void)store.deleteModel(model);
        const auto curl = timeProgram(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"),
                                                               QStringLiteral("/dev/null"), url});
        if (!curl)
            return false;
        reference.push_back(*curl);
        // The same with the file written, which the store cannot skip: what disk writes cost here.
        takePagesBack(scratch);
        const auto curlFile = timeProgram(QStringLiteral("curl"), {QStringLiteral("-s"), QStringLiteral("-f"), QStringLiteral("-o"), copy, url});
        QFile::remove(copy);
        if (!curlFile)
            return false;
        written.push_back(*curlFile);
        clock.restart();
        Sha256 hash;
        for (qint64 done = 0; done < kFileSize; done += block.size())
            hash.update(block);
        (void)hash.finalHex();
        hashing.push_back(double(clock.nsecsElapsed()) / 1e9);
    }
    report("download", ours, reference, "curl -o /dev/null");
    report("download", ours, written, "curl -o FILE");
    report("download", ours, hashing, "SHA-256 alone, in memory");
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    QTemporaryDir scratch;
    // Staging, the data folder and the test file on one file system, as in a normal home.
    qputenv("TMPDIR", scratch.path().toUtf8());
    qputenv("XDG_DATA_HOME", (scratch.path() + QStringLiteral("/data")).toUtf8());
    const QString file = scratch.filePath(QStringLiteral("one-gib.bin"));
    if (!writeTestFile(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return 1;
    }
    const auto digest = Sha256::ofFile(file);
    if (!digest.ok())
        return 1;
    const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
    const bool ok = (only == "download" || hashRounds(file, rounds)) &&
                    (only == "sha256" || downloadRounds(file, digest.value(), rounds));
    return ok ? 0 : 1;
}
