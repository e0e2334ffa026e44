#pragma once

#include <QByteArray>
#include <QString>

// Sets an environment variable (a null value unsets it) until the end of the scope.
class ScopedEnv {
public:
    ScopedEnv(const char *name, const QString &value) : m_name(name), m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value.toUtf8());
    }
    ~ScopedEnv()
    {
        if (m_old.isNull())
            qunsetenv(m_name);
        else
            qputenv(m_name, m_old);
    }
    ScopedEnv(const ScopedEnv &) = delete;
    ScopedEnv &operator=(const ScopedEnv &) = delete;

private:
    const char *m_name;
    QByteArray m_old;
};
