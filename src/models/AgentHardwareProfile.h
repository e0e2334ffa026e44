#pragma once

#include <QString>

#include <cstdint>

// The machine as far as writing-model guidance cares.
struct AgentHardwareProfile {
    QString chipName;
    int memoryGB = 0;
    bool isAppleSilicon = false;

    // llama.cpp runs GGUF models on every processor this build supports, so local models are
    // judged by memory alone here rather than by the processor family.
    static constexpr bool localModelsNeedAppleSilicon = false;

    bool operator==(const AgentHardwareProfile &) const = default;

    // "<chip> · <n> GB memory"
    QString summary() const;

    // Physical memory rounded to the nearest whole GiB, at least 1.
    static int memoryGBFromBytes(uint64_t bytes);
    // The "model name" of the first processor in a /proc/cpuinfo text, else the architecture's name.
    static QString chipNameFromCpuInfo(const QByteArray &cpuinfo);
    static AgentHardwareProfile current();
};
