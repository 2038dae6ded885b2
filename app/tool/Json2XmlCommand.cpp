// json2xml: XML written from a JSON value, read as the framework's node dictionaries.
//
//   zandrel-tool json2xml [--name NAME] FILE|-
//
// The JSON is read by the platform's JSON reader and the XML written by the framework's writer;
// both work without recursion, so deeply nested input is fine.

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

namespace {

constexpr int kMalformed = 1;
constexpr int kInputOutput = 2;

// XML's name rule, with every byte of a non-ASCII character accepted as a name character.
bool isXmlName(std::string_view name) {
    if (name.empty()) return false;
    auto start = [](unsigned char c) { return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80; };
    auto rest = [&](unsigned char c) { return start(c) || std::isdigit(c) || c == '-' || c == '.'; };
    if (!start(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin() + 1, name.end(),
                       [&](char c) { return rest(static_cast<unsigned char>(c)); });
}

// The first element or attribute name the writer would emit that XML does not allow, with where
// it sits ("root/a/b"), following the writer's key conventions; nothing when all are fine.
// Walks with an explicit stack, like the writer, so any depth is fine.
std::optional<std::string> firstBadName(const platform::Value& top, const std::string& topName) {
    struct Node {
        const platform::Value* value;
        std::string name;
        size_t parent;
    };
    std::vector<Node> nodes{{&top, topName, SIZE_MAX}};
    auto pathOf = [&](size_t index, const std::string& leaf) {
        std::vector<std::string> parts{leaf};
        for (size_t i = index; i != SIZE_MAX; i = nodes[i].parent) parts.push_back(nodes[i].name);
        std::string path;
        for (auto it = parts.rbegin(); it != parts.rend(); ++it) path += (path.empty() ? "" : "/") + *it;
        return path;
    };
    std::vector<size_t> pending{0};
    while (!pending.empty()) {
        size_t index = pending.back();
        pending.pop_back();
        const Node node = nodes[index];
        if (!isXmlName(node.name))
            return fmt::format("'{}' is not an XML element name (at {})", node.name,
                               pathOf(node.parent, node.name));
        if (node.value->isArray()) {
            for (const auto& member : node.value->asArray()) {
                nodes.push_back({&member, node.name, node.parent});
                pending.push_back(nodes.size() - 1);
            }
            continue;
        }
        if (!node.value->isDictionary()) continue;
        const auto& dict = node.value->asDictionary();
        const platform::Value* attributes = node.value->find("__attributes");
        for (const auto& [key, child] : dict) {
            bool reserved =
                key == "__attributes" || key == "__comments" || key == "__text" || key == "__name";
            if (reserved) continue;
            if (key[0] == '_') {
                if (!attributes && !isXmlName(std::string_view(key).substr(1)))
                    return fmt::format("'{}' is not an XML attribute name (at {})", key.substr(1),
                                       pathOf(index, key));
                continue;
            }
            nodes.push_back({&child, key, index});
            pending.push_back(nodes.size() - 1);
        }
        if (attributes && attributes->isDictionary())
            for (const auto& [key, value] : attributes->asDictionary())
                if (!isXmlName(key))
                    return fmt::format("'{}' is not an XML attribute name (at {})", key,
                                       pathOf(index, "__attributes"));
    }
    return std::nullopt;
}

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
    std::string topName = name ? *name : root.value("__name", std::string_view("root"));
    if (auto bad = firstBadName(root, topName))
        return ToolIO::fail("json2xml", source, *bad + ": the XML would not be well-formed", kMalformed);
    std::string xml = name ? KOPAXMLDictionaryParser::XMLStringForNode(root, *name) : kopaXMLString(root);
    root = platform::Value();
    xml += '\n';
    if (!ToolIO::writeOutput(xml))
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
