// urlencode: percent-encodes a text for use inside a URL, in UTF-8 or Latin-1.
//
//   zandrel-tool urlencode [--latin1] [--keep-newline] [--] TEXT|-

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

namespace {

constexpr int kNotLatin1 = 1;
constexpr int kInputOutput = 2;

// The text read from standard input loses one final line end ("\n" or "\r\n"): `echo hi |
// zandrel-tool urlencode -` means "hi", as the same word typed as an argument would.
std::string withoutFinalLineEnd(std::string text) {
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
    }
    return text;
}

ToolCommand::Registrar urlencode{
    "urlencode", "Percent-encode a text for use inside a URL", [](CLI::App& command) -> ToolCommand::Run {
        auto text = std::make_shared<std::string>();
        auto latin1 = std::make_shared<bool>(false);
        auto keepNewline = std::make_shared<bool>(false);
        auto maxBytes = std::make_shared<uint64_t>(ToolIO::kDefaultMaxInputBytes);
        CLI::Option* textOption = command.add_option(
            "text", *text,
            "The text (UTF-8), or - to read it from standard input (the default when it is "
            "not a terminal)");
        command.add_flag("--latin1", *latin1,
                         "Encode the text's Latin-1 (ISO 8859-1) bytes instead of UTF-8");
        command.add_flag("--keep-newline", *keepNewline,
                         "With -, encode the input's final line end too (it is dropped by default)");
        command.add_option("--max-bytes", *maxBytes, "With -, refuse input larger than this many bytes")
            ->capture_default_str()
            ->check(ToolIO::checkByteCount);
        command.footer(
            "Letters, digits and -._~ stay; every other byte becomes %XX.\n"
            "With -, the text is read from standard input and its one final line end (\\n or \\r\\n) is\n"
            "dropped, so `echo hi | zandrel-tool urlencode -` gives hi; other line ends are encoded.\n"
            "A text that starts with '-' goes after --: zandrel-tool urlencode -- -x\n\n" +
            ToolCommand::exitStatuses({{0, "done"},
                                       {1, "the text cannot be written in Latin-1"},
                                       {2,
                                        "the input cannot be read (or is larger than --max-bytes) or the "
                                        "output cannot be written"}}));
        return [text, textOption, latin1, keepNewline, maxBytes]() -> int {
            if (textOption->count() == 0) {
                // No text at all ("" is an empty text): standard input, unless a terminal.
                const std::optional<std::string> source = ToolIO::sourceOrStandardInput("urlencode", "");
                if (!source) return 64;
                *text = *source;
            }
            if (*text == "-") {
                platform::Result<std::string> input = ToolIO::readInput("-", *maxBytes);
                if (!input) return ToolIO::fail("urlencode", "", input.status().message(), kInputOutput);
                *text = *keepNewline ? std::move(*input) : withoutFinalLineEnd(std::move(*input));
            }
            std::optional<std::string> encoded = *latin1 ? encodedForURLLatin1(*text) : encodedForURL(*text);
            if (!encoded)
                return ToolIO::fail(
                    "urlencode", "",
                    "the text holds characters Latin-1 cannot represent (or is not valid UTF-8)", kNotLatin1);
            *encoded += '\n';
            if (!ToolIO::writeOutput(*encoded))
                return ToolIO::fail("urlencode", "",
                                    fmt::format("cannot write the output: {}", std::strerror(errno)),
                                    kInputOutput);
            return 0;
        };
    }};

}  // namespace
