#pragma once

// The framework's log-line form: "<%@ %@:(%d)> %@" filled with the product name, the name of the
// source file that writes the line (without folder and extension, such as VEXAPlugin), the
// source line number, and the text. Lines go to the process log.
//
//   KOPA_LOG("Unhandled error: {}", error.description());

#include <fmt/format.h>

#include <string_view>

#include "platform/foundation/Log.h"

// The product this copy of the framework is built into; it titles alerts and leads log lines.
// Each product defines it (kopa_product_name() in CMake), so the framework has no name of its own.
extern const char* const KOPAProductName;

namespace kopa_detail {
constexpr std::string_view sourceName(std::string_view path) {
    if (auto slash = path.rfind('/'); slash != std::string_view::npos) path.remove_prefix(slash + 1);
    if (auto dot = path.rfind('.'); dot != std::string_view::npos) path = path.substr(0, dot);
    return path;
}
}  // namespace kopa_detail

inline void KOPALogLine(std::string_view file, int line, std::string_view text) {
    platform::Log::write(
        fmt::format("<{} {}:({})> {}", KOPAProductName, kopa_detail::sourceName(file), line, text));
}

#define KOPA_LOG(...) KOPALogLine(__FILE__, __LINE__, fmt::format(__VA_ARGS__))
