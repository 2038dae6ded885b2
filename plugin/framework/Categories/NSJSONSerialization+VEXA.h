#pragma once

// Reading a JSON file in one call, with failure as an exception.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "platform/foundation/Value.h"

// Reading option bits, passed through unchanged; only the fragment option changes the outcome
// here (containers are always mutable, leaves are plain values).
inline constexpr uint64_t KOPAJSONReadingMutableContainers = 1 << 0;
inline constexpr uint64_t KOPAJSONReadingMutableLeaves = 1 << 1;
inline constexpr uint64_t KOPAJSONReadingFragmentsAllowed = 1 << 2;

// An exception with a name, as the platform's exceptions have: what() is the reason.
class KOPAException : public std::runtime_error {
public:
    KOPAException(std::string name, const std::string& reason)
        : std::runtime_error(reason), m_name(std::move(name)) {}
    const std::string& name() const { return m_name; }
    std::string reason() const { return what(); }

private:
    std::string m_name;
};

// The parsed JSON value of the file at path: a dictionary or an array, or a scalar when
// KOPAJSONReadingFragmentsAllowed is among the options. Never an empty result in place of a
// failure:
//   - malformed JSON (or a top-level scalar without the fragment option) throws a KOPAException
//     named "JSONDeserializationError" whose reason is the parser's description of the error;
//   - a file that cannot be read throws a KOPAException named "NSInvalidArgumentException"
//     whose reason names the file and the system's error.
platform::Value kopaJSONObjectWithContentsOfFile(const std::filesystem::path& path, uint64_t options);
