// xml2json and json2xml: the framework's XML node dictionaries on the command line.
//
//   zandrel-tool xml2json [options] FILE|-    the node dictionary of an XML document, as JSON
//   zandrel-tool json2xml [--name NAME] FILE|-  XML written from a JSON value
//
// Exit status: 0 done, 1 the input is not well-formed, 2 the input cannot be read. Both
// commands build and print their trees without recursion, so deeply nested input is fine.

#include <algorithm>
#include <cctype>
#include <fmt/format.h>

#include <cstdio>
#include <iostream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <vector>

#include "app/tool/ToolCommand.h"
#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Categories/NSString+VEXA.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr int kMalformed = 1;
constexpr int kUnreadable = 2;

// The bytes of FILE, or of standard input for "-".
platform::Result<std::string> readInput(const std::string& source) {
    if (source != "-") return kopaContentsOfFile(source);
    std::string bytes(std::istreambuf_iterator<char>(std::cin), {});
    if (std::cin.bad()) return platform::Status::error("cannot read standard input");
    return bytes;
}

void appendJSONString(std::string& out, std::string_view text) {
    out += '"';
    for (unsigned char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20)
                    out += fmt::format("\\u{:04x}", c);
                else
                    out += static_cast<char>(c);
        }
    }
    out += '"';
}

// JSON text of a value, written with an explicit stack. indent < 0 gives the compact form.
std::string toJSON(const Value& root, int indent) {
    struct Frame {
        const Value* container;
        size_t index = 0;
        Dictionary::const_iterator next;
    };
    std::string out;
    std::vector<Frame> stack;
    auto newline = [&](size_t depth) {
        if (indent < 0) return;
        out += '\n';
        out.append(depth * static_cast<size_t>(indent), ' ');
    };
    // Writes a scalar or opens a container; false when a frame was pushed.
    auto write = [&](const Value& value) {
        switch (value.type()) {
            case Value::Type::Null:
                out += "null";
                return true;
            case Value::Type::Boolean:
                out += value.asBool() ? "true" : "false";
                return true;
            case Value::Type::Integer:
                out += fmt::format("{}", value.asInteger());
                return true;
            case Value::Type::Real:
                out += nlohmann::json(value.asReal()).dump();
                return true;
            case Value::Type::String:
                appendJSONString(out, value.asString());
                return true;
            case Value::Type::Array:
                out += '[';
                stack.push_back(Frame{&value, 0, {}});
                return false;
            case Value::Type::Dictionary:
                out += '{';
                stack.push_back(Frame{&value, 0, value.asDictionary().begin()});
                return false;
        }
        return true;
    };
    write(root);
    while (!stack.empty()) {
        Frame& frame = stack.back();
        const size_t depth = stack.size();
        if (frame.container->isArray()) {
            const Array& members = frame.container->asArray();
            if (frame.index == members.size()) {
                if (!members.empty()) newline(depth - 1);
                out += ']';
                stack.pop_back();
                continue;
            }
            if (frame.index++ > 0) out += ',';
            newline(depth);
            write(members[frame.index - 1]);  // may invalidate `frame`
        } else {
            const Dictionary& entries = frame.container->asDictionary();
            if (frame.next == entries.end()) {
                if (!entries.empty()) newline(depth - 1);
                out += '}';
                stack.pop_back();
                continue;
            }
            if (frame.index++ > 0) out += ',';
            newline(depth);
            const auto& [key, value] = *frame.next++;
            appendJSONString(out, key);
            out += indent < 0 ? ":" : ": ";
            write(value);  // may invalidate `frame`
        }
    }
    return out;
}

// Builds a Value from nlohmann's event interface, without recursion.
class ValueBuilder : public nlohmann::json_sax<nlohmann::json> {
public:
    Value result;
    std::string error;

    bool null() override { return put(Value()); }
    bool boolean(bool b) override { return put(Value(b)); }
    bool number_integer(number_integer_t i) override { return put(Value(static_cast<int64_t>(i))); }
    bool number_unsigned(number_unsigned_t u) override {
        return put(u > static_cast<uint64_t>(INT64_MAX) ? Value(static_cast<double>(u))
                                                        : Value(static_cast<int64_t>(u)));
    }
    bool number_float(number_float_t d, const string_t&) override { return put(Value(d)); }
    bool string(string_t& s) override { return put(Value(std::move(s))); }
    bool binary(binary_t&) override { return false; }
    bool start_object(std::size_t) override { return open(false); }
    bool key(string_t& k) override {
        m_key = std::move(k);
        return true;
    }
    bool end_object() override { return close(); }
    bool start_array(std::size_t) override { return open(true); }
    bool end_array() override { return close(); }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& e) override {
        error = e.what();
        return false;
    }

private:
    // An open container collects its members here and becomes a Value when it closes: an
    // object's entries are sorted once then (the last of equal keys wins, as with repeated
    // assignment), so an object with many keys in any order costs O(n log n), not one shifting
    // insertion per key.
    struct Open {
        bool isArray = false;
        Array members;
        Dictionary::Entries entries;
        std::string key;  // the container's key in its parent object
    };

    // Places a value in the innermost open container (or as the result).
    void place(Value value) {
        if (m_open.empty()) {
            result = std::move(value);
            return;
        }
        Open& container = m_open.back();
        if (container.isArray)
            container.members.push_back(std::move(value));
        else
            container.entries.emplace_back(std::move(m_key), std::move(value));
    }
    bool put(Value value) {
        place(std::move(value));
        return true;
    }
    bool open(bool isArray) {
        Open& container = m_open.emplace_back();
        container.isArray = isArray;
        container.key = std::move(m_key);
        return true;
    }
    bool close() {
        Open& container = m_open.back();
        Value done = container.isArray ? Value(std::move(container.members))
                                       : Value(Dictionary(std::move(container.entries)));
        m_key = std::move(container.key);
        m_open.pop_back();
        place(std::move(done));
        return true;
    }

    std::vector<Open> m_open;
    std::string m_key;
};

int fail(const char* command, const std::string& source, const std::string& message, int status) {
    std::cerr << "zandrel-tool " << command << ": ";
    if (!source.empty()) std::cerr << (source == "-" ? "standard input" : source) << ": ";
    std::cerr << message << "\n";
    return status;
}

struct Xml2JsonOptions {
    std::string source;
    bool noCollapse = false;
    bool noTrim = false;
    bool alwaysArrays = false;
    bool comments = false;
    std::string attributes = "prefixed";
    std::string nodeNames = "root";
    int indent = 2;
    bool partial = false;
};

int runXml2Json(const Xml2JsonOptions& options) {
    static const std::map<std::string, int32_t> kAttributeModes{
        {"prefixed", KOPAXMLDictionaryParser::AttributesModePrefixed},
        {"dictionary", KOPAXMLDictionaryParser::AttributesModeDictionary},
        {"unprefixed", KOPAXMLDictionaryParser::AttributesModeUnprefixed},
        {"discard", KOPAXMLDictionaryParser::AttributesModeDiscard}};
    static const std::map<std::string, int32_t> kNodeNameModes{
        {"root", KOPAXMLDictionaryParser::NodeNameModeRootOnly},
        {"always", KOPAXMLDictionaryParser::NodeNameModeAlways},
        {"never", KOPAXMLDictionaryParser::NodeNameModeNever}};
    KOPAXMLDictionaryParser parser;
    parser.setCollapseTextNodes(!options.noCollapse);
    parser.setTrimWhiteSpace(!options.noTrim);
    parser.setAlwaysUseArrays(options.alwaysArrays);
    parser.setPreserveComments(options.comments);
    parser.setAttributesMode(kAttributeModes.at(options.attributes));
    parser.setNodeNameMode(kNodeNameModes.at(options.nodeNames));

    platform::Result<std::string> bytes = readInput(options.source);
    if (!bytes) return fail("xml2json", "", bytes.status().message(), kUnreadable);
    KOPAXMLParseError error;
    std::optional<Value> root = parser.dictionaryWithData(*bytes, &error);
    const bool failed = !error.message.empty() || !root;
    if (failed && !(options.partial && root)) {
        return fail("xml2json", options.source,
                    error.message.empty() ? "the document has no element" : error.description(), kMalformed);
    }
    std::string json = toJSON(*root, options.indent);
    json += '\n';
    std::fwrite(json.data(), 1, json.size(), stdout);
    if (failed)
        return fail("xml2json", options.source, error.description() + " (partial tree printed)", kMalformed);
    return 0;
}

ToolCommand::Registrar xml2json{
    "xml2json", "Print the node dictionary of an XML document as JSON",
    [](CLI::App& command) -> ToolCommand::Run {
        auto options = std::make_shared<Xml2JsonOptions>();
        command.add_option("source", options->source, "XML file, or - for standard input")->required();
        command.add_flag("--no-collapse", options->noCollapse,
                         "Keep text-only elements as nodes with \"__text\"");
        command.add_flag("--no-trim", options->noTrim,
                         "Keep white space around texts, and white-space-only texts");
        command.add_flag("--always-arrays", options->alwaysArrays, "Put every child element in an array");
        command.add_flag("--comments", options->comments, "Keep comments under \"__comments\"");
        command.add_option("--attributes", options->attributes, "How attributes are stored")
            ->capture_default_str()
            ->check(CLI::IsMember({"prefixed", "dictionary", "unprefixed", "discard"}));
        command.add_option("--node-names", options->nodeNames, "Which nodes carry \"__name\"")
            ->capture_default_str()
            ->check(CLI::IsMember({"root", "always", "never"}));
        command.add_option("--indent", options->indent, "Spaces per level; -1 for one line")
            ->capture_default_str()
            ->check(CLI::Range(-1, 16));
        command.add_flag(
            "--partial", options->partial,
            "On a malformed document, still print the tree read before the error (exit status stays 1)");
        command.footer(
            "Attribute storage: prefixed (\"_name\" keys), dictionary (\"__attributes\"), unprefixed (mixed "
            "with the "
            "children), discard.\nExit status: 0 done, 1 not well-formed, 2 cannot read the input.");
        return [options] { return runXml2Json(*options); };
    }};

// XML's name rule, with every byte of a non-ASCII character accepted as a name character.
bool isXmlName(std::string_view name) {
    if (name.empty()) return false;
    auto start = [](unsigned char c) { return std::isalpha(c) || c == '_' || c == ':' || c >= 0x80; };
    auto rest = [&](unsigned char c) { return start(c) || std::isdigit(c) || c == '-' || c == '.'; };
    if (!start(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin() + 1, name.end(), [&](char c) { return rest(static_cast<unsigned char>(c)); });
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
            return fmt::format("'{}' is not an XML element name (at {})", node.name, pathOf(node.parent, node.name));
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
            bool reserved = key == "__attributes" || key == "__comments" || key == "__text" || key == "__name";
            if (reserved) continue;
            if (key[0] == '_') {
                if (!attributes && !isXmlName(std::string_view(key).substr(1)))
                    return fmt::format("'{}' is not an XML attribute name (at {})", key.substr(1), pathOf(index, key));
                continue;
            }
            nodes.push_back({&child, key, index});
            pending.push_back(nodes.size() - 1);
        }
        if (attributes && attributes->isDictionary())
            for (const auto& [key, value] : attributes->asDictionary())
                if (!isXmlName(key))
                    return fmt::format("'{}' is not an XML attribute name (at {})", key, pathOf(index, "__attributes"));
    }
    return std::nullopt;
}

int runJson2Xml(const std::string& source, const std::optional<std::string>& name) {
    platform::Result<std::string> bytes = readInput(source);
    if (!bytes) return fail("json2xml", "", bytes.status().message(), kUnreadable);
    ValueBuilder builder;
    const bool parsed = nlohmann::json::sax_parse(*bytes, &builder);
    if (!parsed)
        return fail("json2xml", source, builder.error.empty() ? "not valid JSON" : builder.error, kMalformed);
    std::string topName = name ? *name : builder.result.value("__name", std::string_view("root"));
    if (auto bad = firstBadName(builder.result, topName))
        return fail("json2xml", source, *bad + ": the XML would not be well-formed", kMalformed);
    std::string xml;
    if (name) {
        xml = KOPAXMLDictionaryParser::XMLStringForNode(builder.result, *name);
    } else {
        xml = kopaXMLString(builder.result);
    }
    xml += '\n';
    std::fwrite(xml.data(), 1, xml.size(), stdout);
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
        command.footer("Exit status: 0 done, 1 not valid JSON, 2 cannot read the input.");
        return [source, name] { return runJson2Xml(*source, *name); };
    }};

}  // namespace
