#pragma once

// ToolIO: how zandrel-tool's document commands read their input, write their output and report
// failures, so every command bounds its input and words its messages the same way.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Status.h"

class ToolIO {
public:
    // Input larger than this is refused unless the command is told otherwise (--max-bytes): an
    // endless source (/dev/zero, a runaway pipe) must end in a message, not in exhausted memory.
    static constexpr uint64_t kDefaultMaxInputBytes = uint64_t{1} << 30;

    // The bytes of FILE, or of standard input for "-", at most maxBytes of them. Pipes and
    // terminals are read as they come; a directory or an unreadable file gives the system's reason.
    static platform::Result<std::string> readInput(const std::string& source, uint64_t maxBytes);

    // Writes bytes to standard output and flushes; false (with the reason in errno) on failure.
    static bool writeOutput(std::string_view bytes);

    // Prints "zandrel-tool COMMAND: SOURCE: MESSAGE" to standard error and returns status. Control
    // characters and bytes that are not UTF-8 in it are shown escaped (platform::DisplayText::printable),
    // so an echoed file name or parser message cannot drive the terminal.
    static int fail(std::string_view command, std::string_view source, std::string_view message, int status);

    // The check of a --max-bytes value: "" for a whole number from 1 up, else what is wrong with
    // it in a person's words (CLI11's own number check quotes the largest double).
    static std::string checkByteCount(const std::string& text);

    // The source to read: as given, or "-" when none was given and standard input is not a
    // terminal; nothing (after a usage message, status 64) when none was given on a terminal.
    static std::optional<std::string> sourceOrStandardInput(std::string_view command,
                                                            const std::string& source);

    // How a source is named in messages: "standard input" for "-".
    static std::string sourceName(std::string_view source);
};
