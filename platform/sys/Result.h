#pragma once
// The one shape of a step that can fail: it returns its value, or an error
// that says what failed (and, where the error type carries it, where).
// Nothing is thrown and nothing is passed out through a reference.
//
//     Result<uint64_t> offset = FindShowOffset(path);
//     if (!offset) return offset.Error();
//     use(*offset);

#include <string>
#include <utility>
#include <variant>

namespace showsaver {

// An error in words for people.
struct Error {
    std::string what;
};

template <typename T, typename E = Error>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : m_value(std::in_place_index<1>, std::move(error)) {}

    bool Ok() const { return m_value.index() == 0; }
    explicit operator bool() const { return Ok(); }
    T& operator*() { return std::get<0>(m_value); }
    const T& operator*() const { return std::get<0>(m_value); }
    T* operator->() { return &std::get<0>(m_value); }
    const T* operator->() const { return &std::get<0>(m_value); }
    const E& Error() const { return std::get<1>(m_value); }

private:
    std::variant<T, E> m_value;
};

// A step that has no value to give: success, or the error.
template <typename E = Error>
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(E error) : m_error(std::move(error)), m_failed(true) {}

    bool Ok() const { return !m_failed; }
    explicit operator bool() const { return Ok(); }
    const E& Error() const { return m_error; }

private:
    E m_error{};
    bool m_failed = false;
};

} // namespace showsaver
