#include "AudioRecorder.h"

#include "platform/Json.h"
#include "platform/Scheduler.h"
#include "speech/AppPaths.h"

#include <QAudioDevice>
#include <QAudioSource>
#include <QDir>
#include <QFile>
#include <QMediaDevices>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// The device writes captured audio into this; it hands every block on at once.
class CaptureSink final : public QIODevice {
public:
    explicit CaptureSink(std::function<void(const char *, qint64)> consume) : m_consume(std::move(consume)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_consume(data, size);
        return size;
    }

private:
    std::function<void(const char *, qint64)> m_consume;
};

QAudioFormat wantedFormat()
{
    QAudioFormat format;
    format.setSampleRate(PcmConverter::outputRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

} // namespace

AudioRecorder::AudioRecorder(Scheduler &scheduler, QObject *parent)
    : QObject(parent), m_scheduler(scheduler), m_devices(new QMediaDevices(this))
{
    m_samples = QList<double>(sampleWindow, idleSample);
    // The sound server may move a recording whose device went away onto another one (a
    // monitor, say) without a word; the device list tells.
    connect(m_devices, &QMediaDevices::audioInputsChanged, this, [this] { checkDevice(); });
}

AudioRecorder::~AudioRecorder()
{
    // A recording still running at exit is finished, so its file is a valid WAV.
    if (m_source)
        (void)stop();
}

double AudioRecorder::levelForPower(double decibels)
{
    if (std::isnan(decibels))
        decibels = -160;
    const double x = std::clamp((decibels + 55.0) / 48.0, 0.0, 1.0);
    return std::min(std::max(std::pow(x, 1.55), 0.015), 1.0);
}

QAudioFormat AudioRecorder::captureFormat() const { return m_source ? m_source->format() : QAudioFormat(); }

Result<QString, QString> AudioRecorder::start()
{
    if (auto prepared = AppPaths::prepare(); !prepared.ok())
        return Result<QString, QString>::failure(prepared.error());

    const QString path = AppPaths::temporaryRecordings() + QLatin1Char('/') +
                         Json::uuidString(QUuid::createUuid()) + QStringLiteral(".wav");
    // Starting over a running recording finishes it first, so its file stays a valid WAV.
    if (m_source)
        (void)stop();
    if (auto opened = m_writer.open(path); !opened.ok())
        return Result<QString, QString>::failure(opened.error());

    const QAudioDevice device = QMediaDevices::defaultAudioInput();
    const auto unavailable = [this] {
        m_writer.discard();
        return Result<QString, QString>::failure(OrvelError::recorderUnavailable().description());
    };
    if (device.isNull())
        return unavailable();

    QAudioFormat format = wantedFormat();
    if (m_formatOverride)
        format = *m_formatOverride;
    else if (!device.isFormatSupported(format))
        format = device.preferredFormat();

    m_meterTimer.reset();
    auto source = std::make_unique<QAudioSource>(device, format);
    connect(source.get(), &QAudioSource::stateChanged, this, [this, s = source.get()](QAudio::State state) {
        if (s == m_source.get() && state == QAudio::StoppedState && s->error() != QAudio::NoError)
            deviceLost();
    });
    m_converter = std::make_unique<PcmConverter>(source->format());
    auto sink = std::make_unique<CaptureSink>([this](const char *data, qint64 size) { consume(data, size); });
    sink->open(QIODevice::WriteOnly);
    source->start(sink.get());
    if (source->error() != QAudio::NoError || source->state() == QAudio::StoppedState) {
        m_converter.reset();
        return unavailable();
    }

    m_source = std::move(source);
    m_sink = std::move(sink);
    m_device = device;
    m_deviceLost = false;
    m_loudest = LoudestWindow();
    m_startedAt = m_scheduler.now();
    m_outputPath = path;
    m_lastPower.reset();
    setLevel(idleSample);
    resetSamples();
    m_meterTimer = m_scheduler.every(meterInterval, [this] { updateLevel(); });
    return path;
}

void AudioRecorder::consume(const char *data, qint64 size)
{
    if (!m_converter)
        return;
    const QByteArray pcm = m_converter->convert(data, size);
    m_loudest.add(pcm);
    m_writer.append(pcm);
}

void AudioRecorder::deviceLost()
{
    if (m_deviceLost)
        return;
    m_deviceLost = true;
    // Told from the event loop: the handler may end the recording, and with it the source
    // that is reporting this.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_source && m_deviceLost && onFailure)
                onFailure(OrvelError::recorderUnavailable().description());
        },
        Qt::QueuedConnection);
}

void AudioRecorder::checkDevice()
{
    if (!m_source || m_deviceLost)
        return;
    // By id: a device whose description changes is still the same microphone.
    const QList<QAudioDevice> inputs = QMediaDevices::audioInputs();
    const bool listed = std::any_of(inputs.begin(), inputs.end(),
                                    [this](const QAudioDevice &d) { return d.id() == m_device.id(); });
    if (!listed)
        deviceLost();
}

void AudioRecorder::updateLevel()
{
    if (!m_source || !m_converter)
        return;
    // Qt 6.4 on PulseAudio never signals a changed device list, yet its cached list is current
    // and cheap to read; so every tick looks for the device the recording was opened on.
    checkDevice();
    // A tick without new audio repeats the last reading: the device delivers in bursts.
    if (auto power = m_converter->takeAveragePower())
        m_lastPower = power;
    const double value = levelForPower(m_lastPower.value_or(-160.0));
    setLevel(value);
    m_samples.append(value);
    if (m_samples.size() > sampleWindow)
        m_samples.remove(0, m_samples.size() - sampleWindow);
    emit samplesChanged();
}

std::optional<DictationRecorder::Recording> AudioRecorder::stop()
{
    if (!m_source || !m_outputPath)
        return std::nullopt;
    const double duration = m_startedAt ? std::max(0.0, m_scheduler.now() - *m_startedAt) : 0.0;
    m_source->stop();
    if (m_converter) {
        const QByteArray rest = m_converter->flush();
        m_loudest.add(rest);
        m_writer.append(rest);
    }
    // A file that could not be completed is still handed back: the engine reports what it can.
    (void)m_writer.finish();
    tearDown();
    setLevel(0);
    // No audio at all (a microphone that never delivered) is silence, not a file for an engine.
    return Recording{*m_outputPath, duration, m_loudest.loudestPower().value_or(silenceFloor)};
}

void AudioRecorder::cancel()
{
    if (m_source)
        m_source->stop();
    tearDown();
    if (m_writer.isOpen())
        m_writer.discard();
    setLevel(0);
    resetSamples();
    if (m_outputPath)
        QFile::remove(*m_outputPath);
    m_outputPath.reset();
}

void AudioRecorder::tearDown()
{
    m_meterTimer.reset();
    m_source.reset();
    m_sink.reset();
    m_converter.reset();
    m_startedAt.reset();
}

void AudioRecorder::cleanupTemporaryRecordings()
{
    QDir dir(AppPaths::temporaryRecordings());
    if (!dir.exists())
        return;
    const auto entries = dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.absoluteFilePath()).removeRecursively();
        else
            QFile::remove(entry.absoluteFilePath());
    }
}

void AudioRecorder::setLevel(double value)
{
    if (m_level == value)
        return;
    m_level = value;
    emit levelChanged();
}

void AudioRecorder::resetSamples()
{
    m_samples = QList<double>(sampleWindow, idleSample);
    emit samplesChanged();
}
