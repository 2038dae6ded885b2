#include "plugin/framework/Classes/VEXAXMLDictionary.h"

#include <fmt/format.h>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Categories/NSString+VEXA.h"
#include "plugin/framework/Classes/VEXAXMLReaders.h"
#include "plugin/framework/Classes/VEXAXMLWriter.h"

using platform::Value;

std::string KOPAXMLParseError::description() const {
    std::string text = message;
    if (line > 0) text += fmt::format(" at line {}, column {}", line, column);
    if (!elementPath.empty()) text += fmt::format(" in {}", elementPath);
    return text;
}

KOPAXMLDictionaryParser::KOPAXMLDictionaryParser(const KOPAXMLDictionaryParser& other) {
    *this = other;
}

KOPAXMLDictionaryParser& KOPAXMLDictionaryParser::operator=(const KOPAXMLDictionaryParser& other) {
    setCollapseTextNodes(other.collapseTextNodes());
    setTrimWhiteSpace(other.trimWhiteSpace());
    setAlwaysUseArrays(other.alwaysUseArrays());
    setPreserveComments(other.preserveComments());
    setAttributesMode(other.attributesMode());
    setNodeNameMode(other.nodeNameMode());
    return *this;
}

KOPAXMLDictionaryParser& KOPAXMLDictionaryParser::sharedInstance() {
    static KOPAXMLDictionaryParser shared;
    return shared;
}

std::optional<Value> KOPAXMLDictionaryParser::dictionaryWithData(std::string_view bytes,
                                                                 KOPAXMLParseError* error) const {
    KOPAXMLReaders::Outcome outcome =
        KOPAXMLReaders::read(KOPAXMLReaders::Reader::Automatic, KOPAXMLReaders::optionsOf(*this), bytes);
    if (error && outcome.verdict == KOPAXMLReaders::Verdict::Refused) *error = std::move(outcome.error);
    return std::move(outcome.root);
}

std::optional<Value> KOPAXMLDictionaryParser::dictionaryWithString(std::string_view text,
                                                                   KOPAXMLParseError* error) const {
    return dictionaryWithData(text, error);
}

std::optional<Value> KOPAXMLDictionaryParser::dictionaryWithFile(const std::filesystem::path& path,
                                                                 KOPAXMLParseError* error) const {
    platform::Result<std::string> contents = kopaContentsOfFile(path);
    if (!contents) {
        if (error) *error = KOPAXMLParseError{contents.status().message(), 0, 0, {}};
        return std::nullopt;
    }
    return dictionaryWithData(*contents, error);
}

// g++ 12 warns, wrongly, that the Value moved into the Result may be uninitialized.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
platform::Result<Value> KOPAXMLDictionaryParser::parseData(std::string_view bytes) const {
    KOPAXMLParseError error;
    std::optional<Value> root = dictionaryWithData(bytes, &error);
    if (error.message.empty() && root) return std::move(*root);
    return platform::Status::error(error.message.empty() ? "the document has no element"
                                                         : error.description());
}
#pragma GCC diagnostic pop

std::string KOPAXMLDictionaryParser::XMLStringForNode(const Value& node, std::string_view nodeName) {
    std::string out;
    KOPAXMLWriter(out, false).write(node, nodeName);
    return out;
}

platform::Result<std::string> KOPAXMLDictionaryParser::checkedXMLStringForNode(const Value& node,
                                                                               std::string_view nodeName) {
    std::string out;
    KOPAXMLWriter writer(out, true);
    writer.write(node, nodeName);
    if (writer.fault()) return platform::Status::error(*writer.fault());
    return out;
}

// These two accessors live beside the writer they drive.
std::string kopaInnerXML(const Value& node) {
    std::string out;
    if (node.isDictionary()) KOPAXMLWriter(out, false).writeContent(node.asDictionary());
    return out;
}

std::string kopaXMLString(const Value& node) {
    const Value* name = kopaNodeName(node);
    return KOPAXMLDictionaryParser::XMLStringForNode(node,
                                                     name && name->isString() ? name->asString() : "root");
}
