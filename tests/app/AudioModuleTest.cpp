// The program's audio comes from a module it loads once its window is up. Run twice by the suite:
// once with ORVEL_AUDIO_MODULE naming the built module, once with nothing to find.
#include "platform/QtScheduler.h"
#include "TempDataHome.h"
#include "audio/AudioModuleLoader.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>

#include <gtest/gtest.h>

TEST(AudioModule, RecordsThroughTheModuleOrSaysWhyItCannot)
{
    TempDataHome home;
    QtScheduler scheduler;
    ModuleRecorder recorder(scheduler);
    ModuleSoundPlayer sounds([](const QString &) { return std::nullopt; });
    const bool expected = !qEnvironmentVariableIsEmpty("ORVEL_AUDIO_MODULE");
    QString reason;
    EXPECT_EQ(loadAudioModule(&reason) != nullptr, expected) << qPrintable(reason);
    const auto started = recorder.start();
    if (!expected) {
        // Nothing to record with: the reason names the missing part, and nothing pretends to work.
        ASSERT_FALSE(started.ok());
        EXPECT_TRUE(started.error().contains(QStringLiteral("liborvel-audio.so"))) << qPrintable(started.error());
        EXPECT_FALSE(microphonePresent());
        EXPECT_FALSE(sounds.play(QStringLiteral("Pop"), 1.0));
        EXPECT_FALSE(recorder.stop().has_value());
        EXPECT_TRUE(recorder.samples().isEmpty());
        return;
    }
    // The test session's virtual microphone, heard through the module's recorder.
    EXPECT_TRUE(microphonePresent());
    ASSERT_TRUE(started.ok()) << qPrintable(started.error());
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    const auto recording = recorder.stop();
    ASSERT_TRUE(recording.has_value());
    EXPECT_GT(QFileInfo(recording->filePath).size(), 44) << qPrintable(recording->filePath) << " " << recording->duration;
    // A sound it has no file for is not played, and says so.
    EXPECT_FALSE(sounds.play(QStringLiteral("Pop"), 1.0));
}
