#pragma once

// Error: an error object, as the toolkit passes them around: a domain and code for programs, a
// localized description for people, and a full diagnostic description for the log.

#include <fmt/format.h>

#include <cstdint>
#include <string>

namespace platform {

class Error {
public:
    Error() = default;
    Error(std::string domain, int64_t code, std::string localizedDescription, std::string failureReason = {})
        : m_domain(std::move(domain)),
          m_code(code),
          m_localizedDescription(std::move(localizedDescription)),
          m_failureReason(std::move(failureReason)) {}
    static Error withDescription(std::string domain, int64_t code, std::string localizedDescription) {
        return Error(std::move(domain), code, std::move(localizedDescription));
    }

    const std::string& domain() const { return m_domain; }
    int64_t code() const { return m_code; }
    // The user-facing text.
    const std::string& localizedDescription() const { return m_localizedDescription; }
    const std::string& failureReason() const { return m_failureReason; }
    // The full diagnostic text: "Error Domain=<domain> Code=<code> \"<localized>\"", plus the
    // reason when there is one.
    std::string description() const {
        std::string text =
            fmt::format("Error Domain={} Code={} \"{}\"", m_domain, m_code, m_localizedDescription);
        if (!m_failureReason.empty()) text += fmt::format(" (reason: {})", m_failureReason);
        return text;
    }

    friend bool operator==(const Error&, const Error&) = default;

private:
    std::string m_domain;
    int64_t m_code = 0;
    std::string m_localizedDescription;
    std::string m_failureReason;
};

}  // namespace platform
