#pragma once

#include "speech/AppPaths.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// Points HOME and the XDG folders at a fresh scratch folder for one test.
class TempDataHome {
public:
    TempDataHome()
    {
        for (const char *name : {"HOME", "XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"})
            m_saved.emplace_back(name, qgetenv(name));
        qputenv("HOME", m_dir.path().toUtf8());
        qputenv("XDG_DATA_HOME", (m_dir.path() + QStringLiteral("/data")).toUtf8());
        qputenv("XDG_DATA_DIRS", (m_dir.path() + QStringLiteral("/system")).toUtf8());
        qputenv("XDG_CONFIG_HOME", (m_dir.path() + QStringLiteral("/config")).toUtf8());
        // The user's engine folder is looked up there too.
        qputenv("XDG_CACHE_HOME", (m_dir.path() + QStringLiteral("/cache")).toUtf8());
        AppPaths::reset();
    }
    ~TempDataHome()
    {
        for (const auto &[name, value] : m_saved) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
        AppPaths::reset();
    }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
    std::vector<std::pair<const char *, QByteArray>> m_saved;
};
