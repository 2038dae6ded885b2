#pragma once

// Status: the result of an operation that can fail, in the manner of leveldb::Status.
// OK carries nothing; a failure carries a short message ("what went wrong: what to do") and a
// code for callers that act on the kind of failure (most only show the message).
// Result<T> holds either a value or a failed Status.

#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

namespace platform {

class [[nodiscard]] Status {
public:
    enum class Code {
        Failed,       // anything else
        Conflict,     // another writer was first (a name taken inside the save): nothing was written
        Unavailable,  // the database could not be reached or was busy: nothing was written, try again
        Unknown,      // the connection broke while committing and the outcome could not be learnt yet
    };

    Status() = default;  // OK
    static Status ok() { return Status(); }
    static Status error(std::string message) { return Status(std::move(message)); }
    static Status error(Code code, std::string message) {
        Status status(std::move(message));
        status.m_code = code;
        return status;
    }

    bool isOk() const { return !m_message.has_value(); }
    // Failed for OK statuses too, so only a failure's code means anything.
    Code code() const { return m_code; }
    explicit operator bool() const { return isOk(); }
    const std::string& message() const {
        static const std::string kOk = "OK";
        return m_message ? *m_message : kOk;
    }
    // Adds context in front: "opening demo.sqlite: <message>".
    Status withContext(const std::string& context) const {
        return isOk() ? *this : error(m_code, context + ": " + *m_message);
    }

private:
    explicit Status(std::string message) : m_message(std::move(message)) {}
    std::optional<std::string> m_message;
    Code m_code = Code::Failed;
};

template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_value(std::move(value)) {}
    Result(Status status) : m_status(std::move(status)) {
        if (m_status.isOk()) throw std::logic_error("Result built from an OK status without a value");
    }

    bool isOk() const { return m_value.has_value(); }
    explicit operator bool() const { return isOk(); }
    const Status& status() const { return m_status; }
    T& value() {
        if (!m_value) throw std::logic_error("Result::value on a failure: " + m_status.message());
        return *m_value;
    }
    const T& value() const { return const_cast<Result*>(this)->value(); }
    T* operator->() { return &value(); }
    T& operator*() { return value(); }

private:
    std::optional<T> m_value;
    Status m_status;
};

}  // namespace platform
