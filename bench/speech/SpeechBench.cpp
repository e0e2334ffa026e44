// Runner overhead, vocabulary correction and history file speed. Run: build-bench/bench/speech_bench
#include "RunTask.h"
#include "speech/AppPaths.h"
#include "speech/HistoryStore.h"
#include "speech/WhisperRunner.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char **environ;

namespace {

QTemporaryDir *g_scratch = nullptr;

void useOneLineEngine()
{
    const QString script = g_scratch->filePath(QStringLiteral("one-line"));
    QFile f(script);
    if (f.open(QIODevice::WriteOnly))
        f.write("stdout  the quick brown fox\\n\n");
    qputenv("ORVEL_FAKE_ENGINE_SCRIPT", script.toUtf8());
    qputenv("ORVEL_WHISPER_CLI_PATH", ORVEL_BENCH_ENGINE);
}

void BM_RunnerTranscribe(benchmark::State &state)
{
    useOneLineEngine();
    WhisperRunner runner;
    const SpeechModel model = SpeechModel::catalog()[0];
    for (auto _ : state) {
        auto result = runTask(runner.transcribe(QStringLiteral("/tmp/a.wav"), model, QStringLiteral("/tmp/m.bin"),
                                                {QStringLiteral("Fox")}, [](double) {}));
        benchmark::DoNotOptimize(result.ok());
    }
}
BENCHMARK(BM_RunnerTranscribe)->Iterations(1)->Repetitions(50)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);

// Starts the engine with nothing around it and reaps it; returns its wait status.
int spawnBare(const QByteArray &program)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};
    pid_t pid = 0;
    posix_spawn(&pid, program.constData(), &actions, nullptr, argv, environ);
    int status = 0;
    waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return status;
}

// The same engine started and reaped with nothing around it.
void BM_BareEngine(benchmark::State &state)
{
    useOneLineEngine();
    const QByteArray program = ORVEL_BENCH_ENGINE;
    for (auto _ : state) {
        benchmark::DoNotOptimize(spawnBare(program));
    }
}
BENCHMARK(BM_BareEngine)->Iterations(1)->Repetitions(50)->ReportAggregatesOnly(true)->UseRealTime()->Unit(benchmark::kMillisecond);

// Runner and bare start taken in alternation, so load from elsewhere hits both alike; the
// counters are the medians of 50 pairs and their difference.
void BM_RunnerOverheadPaired(benchmark::State &state)
{
    useOneLineEngine();
    WhisperRunner runner;
    const SpeechModel model = SpeechModel::catalog()[0];
    const QByteArray program = ORVEL_BENCH_ENGINE;
    std::vector<double> withRunner, bare;
    for (auto _ : state) {
        for (int i = 0; i < 50; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            auto result = runTask(runner.transcribe(QStringLiteral("/tmp/a.wav"), model, QStringLiteral("/tmp/m.bin"),
                                                    {QStringLiteral("Fox")}, [](double) {}));
            benchmark::DoNotOptimize(result.ok());
            auto t1 = std::chrono::steady_clock::now();
            benchmark::DoNotOptimize(spawnBare(program));
            auto t2 = std::chrono::steady_clock::now();
            withRunner.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
            bare.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
        }
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["runner_ms"] = median(withRunner);
    state.counters["bare_ms"] = median(bare);
    state.counters["overhead_ms"] = median(withRunner) - median(bare);
}
BENCHMARK(BM_RunnerOverheadPaired)->Iterations(1)->Unit(benchmark::kMillisecond);

QString randomWord(QRandomGenerator &rng, int length)
{
    QString w;
    for (int i = 0; i < length; ++i)
        w += QChar(u'a' + int(rng.bounded(26)));
    return w;
}

void BM_NormalizeVocabulary(benchmark::State &state)
{
    QRandomGenerator rng(42);
    QStringList terms;
    for (int i = 0; i < 500; ++i)
        terms << randomWord(rng, 3 + int(rng.bounded(10))).replace(0, 1, QStringLiteral("X"));
    QString text;
    while (text.size() < 5000)
        text += (rng.bounded(10) == 0 ? terms[int(rng.bounded(500))].toLower() : randomWord(rng, 1 + int(rng.bounded(8)))) + QLatin1Char(' ');
    text.truncate(5000);
    for (auto _ : state)
        benchmark::DoNotOptimize(WhisperRunner::normalizeVocabulary(text, terms));
}
BENCHMARK(BM_NormalizeVocabulary)->Unit(benchmark::kMillisecond);

void fillHistory(HistoryStore &store, int count)
{
    QRandomGenerator rng(7);
    const QDateTime base = QDateTime::fromSecsSinceEpoch(1767225600, Qt::UTC);
    for (int i = 0; i < count; ++i) {
        HistoryItem item;
        item.id = QUuid::createUuid();
        item.createdAt = base.addSecs(i * 37);
        for (int w = 0; w < 30; ++w)
            item.text += randomWord(rng, 2 + int(rng.bounded(7))) + QLatin1Char(' ');
        item.duration = rng.bounded(60.0);
        item.modelID = QStringLiteral("pocket");
        store.insertFront(item);
    }
}

void BM_HistorySave10000(benchmark::State &state)
{
    QFile::remove(AppPaths::history());
    HistoryStore store;
    fillHistory(store, 10000);
    for (auto _ : state)
        store.save();
    state.counters["bytes"] = double(QFile(AppPaths::history()).size());
}
BENCHMARK(BM_HistorySave10000)->Unit(benchmark::kMillisecond);

void BM_HistoryLoad10000(benchmark::State &state)
{
    QFile::remove(AppPaths::history());
    {
        HistoryStore store;
        fillHistory(store, 10000);
        store.save();
    }
    for (auto _ : state) {
        HistoryStore loaded;
        if (loaded.items().size() != 10000)
            state.SkipWithError("history did not load");
    }
}
BENCHMARK(BM_HistoryLoad10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir scratch;
    g_scratch = &scratch;
    qputenv("XDG_DATA_HOME", scratch.filePath(QStringLiteral("data")).toUtf8());
    AppPaths::reset();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
