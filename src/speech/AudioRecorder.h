#pragma once

#include "audio/AudioModule.h"
#include "speech/DictationServices.h"
#include "speech/LoudestWindow.h"
#include "speech/PcmConverter.h"
#include "speech/WavWriter.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QList>
#include <QObject>

#include <memory>
#include <optional>

class QAudioSource;
class QIODevice;
class QMediaDevices;
class Scheduler;
class ScheduledTask;

// Records the default microphone into a 16 kHz mono 16-bit WAV file in the temporary recordings
// folder and publishes a live level and the last 20 levels for the waveform.
class AudioRecorder final : public QObject, public MeteredRecorder {
    Q_OBJECT

public:
    static constexpr int sampleWindow = 20;
    static constexpr double idleSample = 0.025;
    static constexpr double meterInterval = 0.1;

    explicit AudioRecorder(Scheduler &scheduler, QObject *parent = nullptr);
    ~AudioRecorder() override;

    Result<QString, QString> start() override;
    std::optional<Recording> stop() override;
    void cancel() override;
    void cleanupTemporaryRecordings() override;

    double level() const { return m_level; }
    const QList<double> &samples() const { return m_samples; }
    QList<double> meterSamples() const override { return m_samples; }
    bool isRecording() const { return m_source != nullptr; }
    // The file being written, or the last one handed back by stop().
    std::optional<QString> outputPath() const { return m_outputPath; }

    // Maps an average power in dBFS to the displayed level: −55 dB and below 0.015, −7 dB and
    // above 1.0, exponent 1.55 between.
    static double levelForPower(double decibels);

    // Captures in this format instead of asking the device for 16 kHz mono 16-bit; the converter
    // then does the work. Lets the conversion path run against a real device.
    void setCaptureFormatOverride(std::optional<QAudioFormat> format) { m_formatOverride = format; }
    // The format the device actually delivers during a recording.
    QAudioFormat captureFormat() const;
    // PCM bytes written to the current file so far.
    qint64 recordedBytes() const { return m_writer.dataBytes(); }

signals:
    void levelChanged();
    void samplesChanged();

private:
    void consume(const char *data, qint64 size);
    void updateLevel();
    void setLevel(double value);
    void resetSamples();
    void tearDown();
    // Reports the recording's device once it is no longer among the inputs.
    void checkDevice();
    // The device of the running recording went away or failed.
    void deviceLost();

    Scheduler &m_scheduler;
    double m_level = 0;
    QList<double> m_samples;
    std::unique_ptr<QAudioSource> m_source;
    std::unique_ptr<QIODevice> m_sink;
    std::unique_ptr<PcmConverter> m_converter;
    std::unique_ptr<ScheduledTask> m_meterTimer;
    WavWriter m_writer;
    std::optional<double> m_startedAt;
    std::optional<QString> m_outputPath;
    std::optional<double> m_lastPower;
    std::optional<QAudioFormat> m_formatOverride;
    LoudestWindow m_loudest;
    QAudioDevice m_device;
    QMediaDevices *m_devices;
    bool m_deviceLost = false;
};
