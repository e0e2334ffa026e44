#pragma once

#include "ScopedEnv.h"
#include "speech/AppPaths.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// Points HOME and the XDG folders at a fresh scratch folder for one test.
class TempDataHome {
public:
    TempDataHome() { AppPaths::reset(); }
    QString path() const { return m_dir.path(); }

private:
    // First member, so the paths are forgotten only once the variables are restored.
    struct ResetPaths {
        ~ResetPaths() { AppPaths::reset(); }
    } m_reset;
    QTemporaryDir m_dir;
    ScopedEnv m_home{"HOME", m_dir.path()};
    ScopedEnv m_data{"XDG_DATA_HOME", m_dir.path() + QStringLiteral("/data")};
    ScopedEnv m_dataDirs{"XDG_DATA_DIRS", m_dir.path() + QStringLiteral("/system")};
    ScopedEnv m_config{"XDG_CONFIG_HOME", m_dir.path() + QStringLiteral("/config")};
    // The user's engine folder is looked up there too.
    ScopedEnv m_cache{"XDG_CACHE_HOME", m_dir.path() + QStringLiteral("/cache")};
};
