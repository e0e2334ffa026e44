// How much time orvel-agent adds: from the stand-in server writing a chunk to the runtime
// printing its delta line, and from a run request to the generating event with a warm server.
#include "command/AgentRuntimeProtocol.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <vector>

namespace {

constexpr int kChunks = 2000;

qint64 monotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

class Agent {
public:
    explicit Agent(const QJsonObject &script)
    {
        QFile f(dir.filePath("script.json"));
        (void)f.open(QIODevice::WriteOnly);
        f.write(QJsonDocument(script).toJson());
        f.close();
        QFile model(dir.filePath("model.gguf"));
        (void)model.open(QIODevice::WriteOnly);
        model.write("GGUF");
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert("FAKE_LLAMA_SCRIPT", dir.filePath("script.json"));
        env.insert("FAKE_LLAMA_TIMES", dir.filePath("times.txt"));
        process.setProcessEnvironment(env);
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(ORVEL_AGENT_PATH, {});
        process.waitForStarted();
    }
    ~Agent()
    {
        process.closeWriteChannel();
        process.waitForFinished(5000);
    }

    QUuid send()
    {
        AgentRuntimeRequest r;
        r.conversationID = QUuid::createUuid();
        r.model = AgentModelDescriptor::catalogEntry("qwen3-4b-q4");
        r.instruction = "Write";
        r.modelPath = dir.filePath("model.gguf");
        r.llamaServerPath = ORVEL_BENCH_SERVER_PATH;
        process.write(AgentProtocol::encodedLine(r));
        return r.requestID;
    }

    // The next event line with the moment it was read.
    std::pair<QJsonObject, qint64> next()
    {
        while (!process.canReadLine())
            if (!process.waitForReadyRead(30000))
                return {};
        const QByteArray line = process.readLine();
        return {QJsonDocument::fromJson(line).object(), monotonicNs()};
    }

    void drainRun()
    {
        for (;;) {
            const QString kind = next().first.value("kind").toString();
            if (kind.isEmpty() || kind == "completed" || kind == "error")
                return;
        }
    }

    QTemporaryDir dir;
    QProcess process;
};

QJsonObject shortStream() { return QJsonObject{{"chunks", QJsonArray{QJsonObject{{"content", "ok"}}}}}; }

void ChunkToDeltaLatency(benchmark::State &state)
{
    const QJsonObject bench{{"benchChunks", kChunks}, {"benchIntervalUs", 300}};
    Agent agent(QJsonObject{{"responses", QJsonArray{shortStream(), bench}}});
    agent.send();
    agent.drainRun(); // the server is loaded and warm from here on
    std::vector<double> latenciesUs;
    for (auto _ : state) {
        std::vector<qint64> arrived(kChunks, 0);
        agent.send();
        for (;;) {
            const auto [event, at] = agent.next();
            const QString kind = event.value("kind").toString();
            if (kind == "delta") {
                const QString text = event.value("text").toString();
                // One delta per chunk: "[i]".
                const int i = text.mid(1, text.size() - 2).toInt();
                if (i >= 0 && i < kChunks)
                    arrived[size_t(i)] = at;
            }
            if (kind.isEmpty() || kind == "completed" || kind == "error")
                break;
        }
        QFile times(agent.dir.filePath("times.txt"));
        (void)times.open(QIODevice::ReadOnly);
        const QList<QByteArray> written = times.readAll().split('\n');
        for (int i = 0; i < kChunks && i < written.size(); ++i)
            if (arrived[size_t(i)] > 0)
                latenciesUs.push_back(double(arrived[size_t(i)] - written[i].toLongLong()) / 1000.0);
    }
    std::sort(latenciesUs.begin(), latenciesUs.end());
    if (latenciesUs.empty()) {
        state.SkipWithError("no deltas arrived");
        return;
    }
    state.counters["chunks"] = double(latenciesUs.size());
    state.counters["median_us"] = latenciesUs[latenciesUs.size() / 2];
    state.counters["p99_us"] = latenciesUs[std::min(latenciesUs.size() - 1, latenciesUs.size() * 99 / 100)];
}
BENCHMARK(ChunkToDeltaLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void RunToGeneratingWarm(benchmark::State &state)
{
    Agent agent(QJsonObject{{"responses", QJsonArray{shortStream()}}});
    agent.send();
    agent.drainRun();
    std::vector<double> us;
    for (auto _ : state) {
        const qint64 start = monotonicNs();
        agent.send();
        for (;;) {
            const auto [event, at] = agent.next();
            if (event.value("phase").toString() == "generating") {
                state.SetIterationTime(double(at - start) / 1e9);
                us.push_back(double(at - start) / 1000.0);
                break;
            }
            if (event.isEmpty() || event.value("kind") == "error")
                break;
        }
        agent.drainRun();
    }
    std::sort(us.begin(), us.end());
    if (!us.empty()) {
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
    }
}
BENCHMARK(RunToGeneratingWarm)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
