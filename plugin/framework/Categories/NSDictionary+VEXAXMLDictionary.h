#pragma once

// Reading interface of the node dictionaries that KOPAXMLDictionaryParser builds, the convenience
// parsers, and the XML text encoding the writer uses. They follow the parser's key conventions:
// "__name", "__attributes", "__comments", "__text", attribute keys starting with "_" (prefixed
// mode), and child elements under their element names.
//
// None of them keeps state; all may run on any thread. A value that is no dictionary has no
// name, comments, text, attributes or children.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Value.h"

// Each accessor comes in two forms: on a value (nothing when it is no dictionary) and on the
// dictionary itself.

// The value under "__name", or nullptr.
const platform::Value* kopaNodeName(const platform::Value& node);
const platform::Value* kopaNodeName(const platform::Dictionary& node);
// The value under "__comments" (an array of texts), or nullptr.
const platform::Value* kopaComments(const platform::Value& node);
const platform::Value* kopaComments(const platform::Dictionary& node);
// The text under "__text"; an array of runs is joined with line feeds. Nothing when absent.
std::optional<std::string> kopaInnerText(const platform::Value& node);
std::optional<std::string> kopaInnerText(const platform::Dictionary& node);
// Text runs joined with line feeds, the way kopaInnerText joins an array under "__text".
std::string kopaJoinedTextRuns(const platform::Array& runs);
// Attribute name to value: the non-empty "__attributes" dictionary when the node holds
// "__attributes" at all, otherwise the "_"-prefixed keys (other than "__comments", "__text",
// "__name") without their first character. Nothing when there are none.
std::optional<platform::Dictionary> kopaAttributes(const platform::Value& node);
std::optional<platform::Dictionary> kopaAttributes(const platform::Dictionary& node);
// A copy of the node without every key that starts with "_" (the reserved keys and prefixed
// attributes). Nothing when no entry is left.
std::optional<platform::Dictionary> kopaChildNodes(const platform::Value& node);
std::optional<platform::Dictionary> kopaChildNodes(const platform::Dictionary& node);
// The node's content as XML: comments, then children in key order, then the text, separated by
// line feeds; empty when there is none.
std::string kopaInnerXML(const platform::Value& node);
// The whole node as XML, under its "__name" or else "root".
std::string kopaXMLString(const platform::Value& node);

// The text with &, <, >, " and ' replaced by "&amp;", "&lt;", "&gt;", "&quot;" and "&apos;".
// An ampersand is always encoded, even when it already starts an entity.
std::string kopaXMLEncodedString(std::string_view text);
// Appends the encoded text to out, without a string of its own.
void kopaAppendXMLEncoded(std::string& out, std::string_view text);

// Text form of a scalar as the writer puts it between tags: a text as it stands, numbers in
// their usual decimal form (an integer beyond 64 bits with its digits unchanged), booleans as true/false, no
// value as the empty text; containers as compact JSON.
std::string kopaXMLTextForm(const platform::Value& value);

// Parse with a fresh copy of KOPAXMLDictionaryParser::sharedInstance(), so its options act as
// process-wide defaults and calls never share parse state. The root node, or nothing.
std::optional<platform::Value> kopaDictionaryWithXMLData(std::string_view bytes);
std::optional<platform::Value> kopaDictionaryWithXMLString(std::string_view text);
std::optional<platform::Value> kopaDictionaryWithXMLFile(const std::filesystem::path& path);
