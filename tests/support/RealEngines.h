#pragma once

// The real llama-server, found as the program finds it (override, the build tree's
// libexec/orvel-raza/, PATH), and the suite's tiny GGUF chat model. Where set-up provided the
// engines, a missing one is a failure; elsewhere the test is skipped.

#include "speech/ResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <optional>

struct RealLlama {
    QString server;
    QString model;

    static std::optional<RealLlama> find(std::string &why)
    {
        const auto server = ResourceLocator::bundledExecutable(QStringLiteral("llama-server"));
        const QString model = qEnvironmentVariable("ORVEL_TEST_SUPPORT_DIR") + QStringLiteral("/models/tiny-chat.gguf");
        if (!server || !QFileInfo(*server).isExecutable())
            why = "no llama-server (set ORVEL_LLAMA_SERVER_PATH or run scripts/setup.sh)";
        else if (!QFileInfo::exists(model))
            why = "the tiny test model was not generated";
        else
            return RealLlama{*server, model};
        return std::nullopt;
    }
    // How set-up provided the engines, compiled into the test.
    static bool required()
    {
#ifdef ORVEL_ENGINES_STATE
        const QString state = QStringLiteral(ORVEL_ENGINES_STATE);
        return state == QStringLiteral("found") || state == QStringLiteral("private");
#else
        return false;
#endif
    }
};

// Skips, or fails where the engines must be there; otherwise leaves `var` set.
#define ORVEL_REQUIRE_REAL_LLAMA(var)                                                                              \
    std::string var##Why;                                                                                          \
    const std::optional<RealLlama> var##Found = RealLlama::find(var##Why);                                         \
    if (!var##Found) {                                                                                             \
        if (RealLlama::required())                                                                                 \
            FAIL() << var##Why;                                                                                    \
        GTEST_SKIP() << var##Why;                                                                                  \
    }                                                                                                              \
    const RealLlama &var = *var##Found

// Children of `pid`, read from /proc.
inline QList<qint64> childProcesses(qint64 pid)
{
    QList<qint64> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const qint64 candidate = entry.toLongLong(&numeric);
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(candidate));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == pid && fields[0] != "Z")
            children << candidate;
    }
    return children;
}

// Running, as opposed to gone or a zombie waiting for its reaper.
inline bool isRunningProcess(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close >= 0 && text.mid(close + 2, 1) != "Z";
}
