#pragma once

#include <QLatin1String>
#include <QString>

#include <array>
#include <optional>
#include <utility>

// Enumerations stored as their case names: one table per enumeration, read both ways.
template <typename E, std::size_t N>
using RawValueTable = std::array<std::pair<E, const char *>, N>;

template <typename E, std::size_t N>
QString rawValueIn(const RawValueTable<E, N> &table, E value)
{
    for (const auto &[v, name] : table)
        if (v == value)
            return QString::fromLatin1(name);
    return {};
}

template <typename E, std::size_t N>
std::optional<E> valueIn(const RawValueTable<E, N> &table, const QString &raw)
{
    for (const auto &[v, name] : table)
        if (raw == QLatin1String(name))
            return v;
    return std::nullopt;
}
