#include <fmt/format.h>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

using platform::Dictionary;
using platform::Value;

namespace {
const Dictionary* asNode(const Value& value) {
    return value.isDictionary() ? &value.asDictionary() : nullptr;
}

const Value* lookup(const Dictionary& node, std::string_view key) {
    auto it = node.find(key);
    return it == node.end() ? nullptr : &it->second;
}
}  // namespace

const Value* kopaNodeName(const Dictionary& node) {
    return lookup(node, "__name");
}
const Value* kopaNodeName(const Value& node) {
    const Dictionary* dict = asNode(node);
    return dict ? kopaNodeName(*dict) : nullptr;
}

const Value* kopaComments(const Dictionary& node) {
    return lookup(node, "__comments");
}
const Value* kopaComments(const Value& node) {
    const Dictionary* dict = asNode(node);
    return dict ? kopaComments(*dict) : nullptr;
}

std::string kopaJoinedTextRuns(const platform::Array& runs) {
    std::string joined;
    bool first = true;
    for (const Value& run : runs) {
        if (!first) joined += '\n';
        first = false;
        joined += run.isString() ? run.asString() : kopaXMLTextForm(run);
    }
    return joined;
}

std::optional<std::string> kopaInnerText(const Dictionary& node) {
    const Value* text = lookup(node, "__text");
    if (!text) return std::nullopt;
    if (text->isArray()) return kopaJoinedTextRuns(text->asArray());
    return text->isString() ? text->asString() : kopaXMLTextForm(*text);
}
std::optional<std::string> kopaInnerText(const Value& node) {
    const Dictionary* dict = asNode(node);
    return dict ? kopaInnerText(*dict) : std::nullopt;
}

std::optional<Dictionary> kopaAttributes(const Dictionary& node) {
    if (const Value* stored = lookup(node, "__attributes")) {
        if (stored->isDictionary() && !stored->asDictionary().empty()) return stored->asDictionary();
        return std::nullopt;
    }
    Dictionary attributes;
    for (const auto& [key, value] : node) {
        if (key.size() < 2 || key[0] != '_' || key == "__comments" || key == "__text" || key == "__name")
            continue;
        attributes.emplace(key.substr(1), value);
    }
    if (attributes.empty()) return std::nullopt;
    return attributes;
}
std::optional<Dictionary> kopaAttributes(const Value& node) {
    const Dictionary* dict = asNode(node);
    return dict ? kopaAttributes(*dict) : std::nullopt;
}

std::optional<Dictionary> kopaChildNodes(const Dictionary& node) {
    Dictionary children;
    for (const auto& [key, value] : node)
        if (key.empty() || key[0] != '_') children.emplace_hint(children.end(), key, value);
    if (children.empty()) return std::nullopt;
    return children;
}
std::optional<Dictionary> kopaChildNodes(const Value& node) {
    const Dictionary* dict = asNode(node);
    return dict ? kopaChildNodes(*dict) : std::nullopt;
}

void kopaAppendXMLEncoded(std::string& out, std::string_view text) {
    // One pass gives the same result as the five replacements applied in turn with the ampersand
    // first: no replacement's output is seen by a later one.
    size_t plainStart = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char* entity;
        switch (text[i]) {
            case '&':
                entity = "&amp;";
                break;
            case '<':
                entity = "&lt;";
                break;
            case '>':
                entity = "&gt;";
                break;
            case '"':
                entity = "&quot;";
                break;
            case '\'':
                entity = "&apos;";
                break;
            default:
                continue;
        }
        out.append(text.data() + plainStart, i - plainStart);
        out += entity;
        plainStart = i + 1;
    }
    out.append(text.data() + plainStart, text.size() - plainStart);
}

std::string kopaXMLEncodedString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    kopaAppendXMLEncoded(out, text);
    return out;
}

std::string kopaXMLTextForm(const Value& value) {
    switch (value.type()) {
        case Value::Type::Null:
            return {};
        case Value::Type::Boolean:
            return value.asBool() ? "true" : "false";
        case Value::Type::Integer:
            return fmt::format("{}", value.asInteger());
        case Value::Type::Real:
            // An integer beyond 64 bits keeps its digits; it is no real to round.
            if (value.isLargeInteger()) return value.numberText();
            return fmt::format("{}", value.asReal());
        case Value::Type::String:
            return value.asString();
        case Value::Type::Array:
        case Value::Type::Dictionary:
            return value.toJson();
    }
    return {};
}

std::optional<Value> kopaDictionaryWithXMLData(std::string_view bytes) {
    return KOPAXMLDictionaryParser::sharedInstance().copy().dictionaryWithData(bytes);
}

std::optional<Value> kopaDictionaryWithXMLString(std::string_view text) {
    return KOPAXMLDictionaryParser::sharedInstance().copy().dictionaryWithString(text);
}

std::optional<Value> kopaDictionaryWithXMLFile(const std::filesystem::path& path) {
    return KOPAXMLDictionaryParser::sharedInstance().copy().dictionaryWithFile(path);
}
