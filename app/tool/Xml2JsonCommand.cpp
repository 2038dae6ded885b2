// xml2json: the framework's node dictionary of an XML document, printed as JSON.
//
//   zandrel-tool xml2json [options] FILE|-
//
// The tree is built in memory (the parser needs all of it); the platform's JSON writer streams
// the text to standard output, with indentation bounded so deep documents stay proportional.

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "platform/foundation/JsonWriter.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"

namespace {

constexpr int kMalformed = 1;
constexpr int kInputOutput = 2;
constexpr int kUsage = 64;

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
    uint64_t maxBytes = ToolIO::kDefaultMaxInputBytes;
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

    const std::optional<std::string> source = ToolIO::sourceOrStandardInput("xml2json", options.source);
    if (!source) return kUsage;
    platform::Result<std::string> bytes = ToolIO::readInput(*source, options.maxBytes);
    if (!bytes) return ToolIO::fail("xml2json", "", bytes.status().message(), kInputOutput);
    KOPAXMLParseError error;
    std::optional<platform::Value> root = parser.dictionaryWithData(*bytes, &error);
    *bytes = std::string();  // the document's text is not needed any more; its tree is
    const bool failed = !error.message.empty() || !root;
    if (failed && !(options.partial && root)) {
        return ToolIO::fail("xml2json", *source,
                            error.message.empty() ? "the document has no element" : error.description(),
                            kMalformed);
    }
    platform::JsonFormat format;
    format.indent = options.indent;
    if (!platform::JsonWriter::writeTo(stdout, *root, format) || !ToolIO::writeOutput("\n"))
        return ToolIO::fail("xml2json", "", fmt::format("cannot write the output: {}", std::strerror(errno)),
                            kInputOutput);
    if (failed)
        return ToolIO::fail("xml2json", *source, error.description() + " (partial tree printed)", kMalformed);
    return 0;
}

ToolCommand::Registrar xml2json{
    "xml2json", "Print the node dictionary of an XML document as JSON",
    [](CLI::App& command) -> ToolCommand::Run {
        auto options = std::make_shared<Xml2JsonOptions>();
        command.add_option("source", options->source,
                           "XML file, or - for standard input (the default when it is not a terminal)");
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
        command
            .add_option(
                "--indent", options->indent,
                fmt::format("Spaces per level, up to {}; -1 for one line", platform::JsonFormat::kMaxIndent))
            ->capture_default_str()
            ->check(CLI::Range(-1, platform::JsonFormat::kMaxIndent));
        command.add_flag(
            "--partial", options->partial,
            "On a malformed document, still print the tree read before the error (exit status stays 1)");
        command.add_option("--max-bytes", options->maxBytes, "Refuse a document larger than this many bytes")
            ->capture_default_str()
            ->check(ToolIO::checkByteCount);
        command.footer(fmt::format(
            "Attribute storage: prefixed (\"_name\" keys), dictionary (\"__attributes\"), unprefixed (mixed "
            "with "
            "the children), discard.\n"
            "Lines deeper than {} levels are indented as level {}, so the output of a deeply nested document "
            "stays proportional to the document.\n"
            "A dictionary keeps the order of siblings of one name (in their array) but not the order of "
            "differently named siblings: <a/><b/><a/> reads as {{\"a\": [..., ...], \"b\": ...}}, and "
            "json2xml writes it back as <a/><a/><b/>.\n\n{}",
            platform::JsonFormat{}.maxIndentLevels, platform::JsonFormat{}.maxIndentLevels,
            ToolCommand::exitStatuses({{0, "done"},
                                       {1, "not well-formed"},
                                       {2,
                                        "the input cannot be read (or is larger than --max-bytes) or the "
                                        "output cannot be written"}})));
        return [options] { return runXml2Json(*options); };
    }};

}  // namespace
