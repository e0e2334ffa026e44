// Microphone start latency: AudioRecorder::start() until its first captured block, paired in each
// round with parec on the same source, since the sound server itself may be slow to deliver.
// Run inside scripts/test-session.sh: build-bench/bench/mic_latency_bench [ROUNDS]
#include "platform/QtScheduler.h"
#include "speech/AppPaths.h"
#include "speech/AudioRecorder.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr int kGiveUpMs = 10000;

// Milliseconds until `arrived` holds, events running meanwhile; nothing when it never does.
template <typename Arrived> std::optional<double> timeUntil(const QElapsedTimer &clock, Arrived arrived)
{
    QDeadlineTimer deadline(kGiveUpMs);
    while (!arrived()) {
        if (deadline.hasExpired())
            return std::nullopt;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return double(clock.nsecsElapsed()) / 1e6;
}

std::optional<double> recorderLatency(AudioRecorder &recorder)
{
    QElapsedTimer clock;
    clock.start();
    const auto started = recorder.start();
    if (!started.ok()) {
        std::fprintf(stderr, "recorder: %s\n", qPrintable(started.error()));
        return std::nullopt;
    }
    const auto latency = timeUntil(clock, [&] { return recorder.recordedBytes() > 0; });
    recorder.cancel();
    return latency;
}

std::optional<double> parecLatency()
{
    QProcess parec;
    QElapsedTimer clock;
    clock.start();
    parec.start(QStringLiteral("parec"), {QStringLiteral("--raw"), QStringLiteral("--format=s16le"),
                                          QStringLiteral("--rate=16000"), QStringLiteral("--channels=1"),
                                          QStringLiteral("--latency-msec=20")});
    const auto latency = timeUntil(clock, [&] {
        return parec.state() == QProcess::NotRunning || parec.bytesAvailable() > 0;
    });
    const bool delivered = parec.bytesAvailable() > 0;
    parec.kill();
    parec.waitForFinished();
    if (!delivered) {
        std::fprintf(stderr, "parec: %s\n", parec.readAllStandardError().constData());
        return std::nullopt;
    }
    return latency;
}

struct Summary {
    double median, min, max;
};

Summary summarize(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

void print(const char *name, const std::vector<double> &values)
{
    const Summary s = summarize(values);
    std::printf("%-26s median %7.1f ms   min %7.1f ms   max %7.1f ms\n", name, s.median, s.min, s.max);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    // Recordings go into a scratch data home, not the user's.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());
    AppPaths::reset();
    (void)AppPaths::prepare();

    QtScheduler scheduler;
    AudioRecorder recorder(scheduler);
    std::vector<double> ours, theirs, difference;
    for (int round = 0; round < rounds; ++round) {
        // Alternating which goes first, so neither always meets a freshly woken server.
        const bool parecFirst = round % 2;
        std::optional<double> a, b;
        if (parecFirst)
            b = parecLatency();
        a = recorderLatency(recorder);
        if (!parecFirst)
            b = parecLatency();
        if (!a || !b) {
            std::fprintf(stderr, "round %d: no audio within %d ms\n", round + 1, kGiveUpMs);
            return 1;
        }
        ours.push_back(*a);
        theirs.push_back(*b);
        difference.push_back(*a - *b);
        std::printf("round %2d: recorder %7.1f ms, parec %7.1f ms\n", round + 1, *a, *b);
    }
    std::printf("\nfirst captured block after start, %d rounds:\n", rounds);
    print("AudioRecorder::start()", ours);
    print("parec", theirs);
    print("recorder - parec", difference);
    return 0;
}
