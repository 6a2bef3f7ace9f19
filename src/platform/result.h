#pragma once

#include <QString>

#include <cassert>
#include <utility>
#include <variant>

namespace pvx::platform {

/// What went wrong, in terms the logic can act on; the detail is the text a
/// user sees after "Error - ".
enum class ErrorCode {
    NotFound,
    Busy,
    AccessDenied,
    InvalidArgument,
    Unsupported,
    WrongState,
    IoError,
    AddressInUse,
    ConnectionRefused,
    HostNotFound,
    NetworkError,
    TimedOut,
};

struct Error {
    ErrorCode code = ErrorCode::IoError;
    QString detail;
};

/// The value of a fallible call, or the error that stopped it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    T &value() { assert(ok()); return std::get<T>(m_state); }
    const T &value() const { assert(ok()); return std::get<T>(m_state); }
    T &operator*() { return value(); }
    const T &operator*() const { return value(); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }

    const Error &error() const { assert(!ok()); return std::get<Error>(m_state); }

private:
    std::variant<T, Error> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const Error &error() const { assert(m_failed); return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

inline Error makeError(ErrorCode code, QString detail)
{
    return Error{code, std::move(detail)};
}

} // namespace pvx::platform
