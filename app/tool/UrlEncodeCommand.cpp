// urlencode: percent-encodes a text for use inside a URL, in UTF-8 or Latin-1.
//
//   zandrel-tool urlencode [--latin1] [--] TEXT

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
constexpr int kOutputFailed = 2;

ToolCommand::Registrar urlencode{
    "urlencode", "Percent-encode a text for use inside a URL", [](CLI::App& command) -> ToolCommand::Run {
        auto text = std::make_shared<std::string>();
        auto latin1 = std::make_shared<bool>(false);
        command.add_option("text", *text, "The text (UTF-8)")->required();
        command.add_flag("--latin1", *latin1,
                         "Encode the text's Latin-1 (ISO 8859-1) bytes instead of UTF-8");
        command.footer(
            "Letters, digits and -._~ stay; every other byte becomes %XX.\n"
            "A text that starts with '-' goes after --: zandrel-tool urlencode -- -x\n"
            "Exit status: 0 done, 1 the text cannot be written in Latin-1, 2 the output cannot be written.");
        return [text, latin1]() -> int {
            std::optional<std::string> encoded = *latin1 ? encodedForURLLatin1(*text) : encodedForURL(*text);
            if (!encoded)
                return ToolIO::fail(
                    "urlencode", "",
                    "the text holds characters Latin-1 cannot represent (or is not valid UTF-8)", kNotLatin1);
            *encoded += '\n';
            if (!ToolIO::writeOutput(*encoded))
                return ToolIO::fail("urlencode", "",
                                    fmt::format("cannot write the output: {}", std::strerror(errno)),
                                    kOutputFailed);
            return 0;
        };
    }};

}  // namespace
