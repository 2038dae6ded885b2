// urlencode: percent-encodes a text for use inside a URL, in UTF-8 or Latin-1.
//
//   zandrel-tool urlencode [--latin1] TEXT

#include <iostream>

#include "app/tool/ToolCommand.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

namespace {

ToolCommand::Registrar urlencode{
    "urlencode", "Percent-encode a text for use inside a URL", [](CLI::App& command) -> ToolCommand::Run {
        auto text = std::make_shared<std::string>();
        auto latin1 = std::make_shared<bool>(false);
        command.add_option("text", *text, "The text (UTF-8)")->required();
        command.add_flag("--latin1", *latin1,
                         "Encode the text's Latin-1 (ISO 8859-1) bytes instead of UTF-8");
        command.footer(
            "Letters, digits and -._~ stay; every other byte becomes %XX.\n"
            "Exit status: 0 done, 1 the text cannot be written in Latin-1.");
        return [text, latin1]() -> int {
            if (!*latin1) {
                std::cout << encodedForURL(*text) << "\n";
                return 0;
            }
            std::optional<std::string> encoded = encodedForURLLatin1(*text);
            if (!encoded) {
                std::cerr << "zandrel-tool urlencode: the text holds characters Latin-1 cannot represent "
                             "(or is not valid UTF-8)\n";
                return 1;
            }
            std::cout << *encoded << "\n";
            return 0;
        };
    }};

}  // namespace
