// json2xml: XML written from a JSON value, read as the framework's node dictionaries.
//
//   zandrel-tool json2xml [--name NAME] [--root NAME | --allow-several-roots] FILE|-
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
constexpr int kUsage = 64;

struct Json2XmlOptions {
    std::string source;
    std::optional<std::string> name;
    std::optional<std::string> root;
    bool severalRoots = false;
    uint64_t maxBytes = ToolIO::kDefaultMaxInputBytes;
};

int runJson2Xml(const Json2XmlOptions& options) {
    const std::optional<std::string> given = ToolIO::sourceOrStandardInput("json2xml", options.source);
    if (!given) return kUsage;
    const std::string& source = *given;
    const std::optional<std::string>& name = options.name;
    if (options.root && name && name->starts_with('_'))
        return ToolIO::fail("json2xml", "",
                            fmt::format("--name '{}' starts with '_', which inside --root would make it an "
                                        "attribute; give an element name",
                                        *name),
                            kUsage);
    platform::Result<std::string> bytes = ToolIO::readInput(source, options.maxBytes);
    if (!bytes) return ToolIO::fail("json2xml", "", bytes.status().message(), kInputOutput);
    platform::Value root;
    try {
        root = platform::Value::parseJson(*bytes);
    } catch (const platform::ValueError& e) {
        return ToolIO::fail("json2xml", source, e.what(), kMalformed);
    }
    *bytes = std::string();
    // An array writes one element per item: a document with several roots (or none), which no
    // XML reader takes, unless the items are wrapped or several roots are wanted.
    if (root.isArray() && !options.root && !options.severalRoots)
        return ToolIO::fail(
            "json2xml", source,
            "the top value is an array, which would give a document with several roots (or none); give "
            "--root NAME to write its items inside one element NAME, or --allow-several-roots to write them "
            "one after another",
            kMalformed);
    // The checked writer refuses names, characters and comments XML cannot carry, naming where
    // they sit, so what is written here always reads back.
    platform::Result<std::string> xml = platform::Status::error("");
    if (options.root) {
        const std::string itemName =
            name ? *name
                 : (root.isArray() ? std::string("item") : root.value("__name", std::string_view("item")));
        platform::Value wrapper{platform::Dictionary{{itemName, std::move(root)}}};
        xml = KOPAXMLDictionaryParser::checkedXMLStringForNode(wrapper, *options.root);
    } else {
        const std::string topName = name ? *name : root.value("__name", std::string_view("root"));
        xml = KOPAXMLDictionaryParser::checkedXMLStringForNode(root, topName);
    }
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
        auto options = std::make_shared<Json2XmlOptions>();
        auto notEmpty = [](const std::string& value) {
            return value.empty() ? "the name must not be empty" : "";
        };
        command.add_option("source", options->source,
                           "JSON file, or - for standard input (the default when it is not a terminal)");
        command
            .add_option_function<std::string>(
                "--name", [options](const std::string& value) { options->name = value; },
                "Element name of the top value (default: its \"__name\", else root); with --root, the name "
                "of "
                "each item (default: item)")
            ->check(notEmpty);
        auto* root = command
                         .add_option_function<std::string>(
                             "--root", [options](const std::string& value) { options->root = value; },
                             "Write the top value inside one element NAME: an array's items become its "
                             "children")
                         ->type_name("NAME")
                         ->check(notEmpty);
        command
            .add_flag("--allow-several-roots", options->severalRoots,
                      "Write the items of a top-level array one after another, each as a root element "
                      "(not one XML document)")
            ->excludes(root);
        command.add_option("--max-bytes", options->maxBytes, "Refuse a document larger than this many bytes")
            ->capture_default_str()
            ->check(ToolIO::checkByteCount);
        command.footer(
            "A top-level array is refused unless --root or --allow-several-roots says what to make of it:\n"
            "  [1,2] with --root list       <list><item>1</item>\\n<item>2</item></list>\n"
            "  [1,2] --allow-several-roots  <root>1</root>\\n<root>2</root>\n"
            "\n" +
            ToolCommand::exitStatuses(
                {{0, "done"},
                 {1,
                  "not valid JSON, not writable as XML or an array without --root or --allow-several-roots "
                  "(the message says what and where)"},
                 {2,
                  "the input cannot be read (or is larger than --max-bytes) or the output cannot be "
                  "written"}}));
        return [options] { return runJson2Xml(*options); };
    }};

}  // namespace
