// json2xml: XML written from a JSON value, read as the framework's node dictionaries.
//
//   zandrel-tool json2xml [--name NAME] FILE|-
//
// The JSON is read by the platform's JSON reader and the XML written by the framework's writer;
// both work without recursion, so deeply nested input is fine.

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

namespace {

constexpr int kMalformed = 1;
constexpr int kInputOutput = 2;

int runJson2Xml(const std::string& source, const std::optional<std::string>& name, uint64_t maxBytes) {
    platform::Result<std::string> bytes = ToolIO::readInput(source, maxBytes);
    if (!bytes) return ToolIO::fail("json2xml", "", bytes.status().message(), kInputOutput);
    platform::Value root;
    try {
        root = platform::Value::parseJson(*bytes);
    } catch (const platform::ValueError& e) {
        return ToolIO::fail("json2xml", source, e.what(), kMalformed);
    }
    *bytes = std::string();
    // The checked writer refuses names, characters and comments XML cannot carry, naming where
    // they sit, so what is written here always reads back.
    const std::string topName = name ? *name : root.value("__name", std::string_view("root"));
    platform::Result<std::string> xml = KOPAXMLDictionaryParser::checkedXMLStringForNode(root, topName);
    if (!xml) return ToolIO::fail("json2xml", source, xml.status().message(), kMalformed);
    root = platform::Value();
    *xml += '\n';
    if (!ToolIO::writeOutput(*xml))
        return ToolIO::fail("json2xml", "", fmt::format("cannot write the output: {}", std::strerror(errno)),
                            kInputOutput);
    return 0;
}

ToolCommand::Registrar json2xml{
    "json2xml", "Write XML from a JSON value (node dictionaries as the parser builds them)",
    [](CLI::App& command) -> ToolCommand::Run {
        auto source = std::make_shared<std::string>();
        auto name = std::make_shared<std::optional<std::string>>();
        command.add_option("source", *source, "JSON file, or - for standard input")->required();
        command
            .add_option_function<std::string>(
                "--name", [name](const std::string& value) { *name = value; },
                "Element name of the top value (default: its \"__name\", else root)")
            ->check(
                [](const std::string& value) { return value.empty() ? "the name must not be empty" : ""; });
        auto maxBytes = std::make_shared<uint64_t>(ToolIO::kDefaultMaxInputBytes);
        command.add_option("--max-bytes", *maxBytes, "Refuse a document larger than this many bytes")
            ->capture_default_str()
            ->check(CLI::PositiveNumber);
        command.footer(
            "Exit status: 0 done, 1 not valid JSON or not writable as XML (the message says what and where), "
            "2 the input cannot be read (or is larger than --max-bytes) or the output cannot be written.");
        return [source, name, maxBytes] { return runJson2Xml(*source, *name, *maxBytes); };
    }};

}  // namespace
