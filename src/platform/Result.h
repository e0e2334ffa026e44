#pragma once

#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

// A value or an error. Every fallible operation returns one, so failures stay values.
template <typename T, typename E>
class [[nodiscard]] Result {
public:
    Result(T value) : m_data(std::in_place_index<0>, std::move(value)) {}
    Result(E error) requires(!std::is_same_v<T, E>) : m_data(std::in_place_index<1>, std::move(error)) {}
    // Where value and error have the same type, the error is named.
    static Result failure(E error)
    {
        Result r(std::in_place_index<1>, std::move(error));
        return r;
    }

    bool ok() const { return m_data.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T &value() const & { return std::get<0>(m_data); }
    T &value() & { return std::get<0>(m_data); }
    T &&value() && { return std::get<0>(std::move(m_data)); }
    const E &error() const { return std::get<1>(m_data); }

private:
    template <std::size_t I, typename V>
    Result(std::in_place_index_t<I> tag, V &&v) : m_data(tag, std::forward<V>(v)) {}
    std::variant<T, E> m_data;
};

// The void case: success carries nothing.
template <typename E>
class [[nodiscard]] Result<void, E> {
public:
    Result() = default;
    Result(E error) : m_error(std::move(error)) {}
    static Result success() { return {}; }

    bool ok() const { return !m_error.has_value(); }
    explicit operator bool() const { return ok(); }
    const E &error() const { return *m_error; }

private:
    std::optional<E> m_error;
};
