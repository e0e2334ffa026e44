#include "AgentHardwareProfile.h"

#include <QFile>
#include <QList>
#include <QSysInfo>

#include <unistd.h>

QString AgentHardwareProfile::summary() const
{
    return chipName + QStringLiteral(" · ") + QString::number(memoryGB) + QStringLiteral(" GB memory");
}

int AgentHardwareProfile::memoryGBFromBytes(uint64_t bytes)
{
    constexpr uint64_t gib = 1073741824ULL;
    constexpr uint64_t halfGib = 536870912ULL;
    const uint64_t padded = bytes + halfGib;
    return static_cast<int>((padded < gib ? gib : padded) / gib);
}

QString AgentHardwareProfile::chipNameFromCpuInfo(const QByteArray &cpuinfo)
{
    for (const QByteArray &line : cpuinfo.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed() != "model name")
            continue;
        if (const QString name = QString::fromUtf8(line.mid(colon + 1)).simplified(); !name.isEmpty())
            return name;
    }
    // Some ARM kernels name no model; the architecture still tells the user something true.
    return QSysInfo::currentCpuArchitecture() + QStringLiteral(" processor");
}

AgentHardwareProfile AgentHardwareProfile::current()
{
    AgentHardwareProfile profile;
    // The real installed memory: pages times page size, which is what the kernel manages.
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    const uint64_t bytes = (pages > 0 && pageSize > 0) ? uint64_t(pages) * uint64_t(pageSize) : 0;
    profile.memoryGB = memoryGBFromBytes(bytes);

    QFile file(QStringLiteral("/proc/cpuinfo"));
    profile.chipName = chipNameFromCpuInfo(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
    profile.isAppleSilicon = false;
    return profile;
}
