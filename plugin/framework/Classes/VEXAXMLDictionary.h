#pragma once

// KOPAXMLDictionaryParser turns an XML document into a tree of plain values (platform::Value):
// every element becomes a node dictionary, child elements sit in their parent under the element's
// name, repeated elements become arrays, and attributes, comments, text and the element's name
// live under reserved keys ("__attributes" or "_name", "__comments", "__text", "__name").
// Elements that hold only text collapse into that text, so simple documents read like nested
// key-value data. The accessors and the convenience parsers are in
// Categories/NSDictionary+VEXAXMLDictionary.h; the writer, which turns such a tree back into XML,
// is the class operation XMLStringForNode.
//
// One answer per document: the reference reader is expat, without namespace processing; a faster
// libxml2 reader takes only the documents it reads exactly as expat does and leaves the rest to
// expat, so the tree, the accept/refuse decision and the error never depend on which one read.
// Documents that declare entities are refused (that is where entity-expansion attacks live);
// external entities and DTDs are never loaded. Reading time grows linearly with the document,
// however many attributes, names or levels it holds. The tree is built and written without
// recursion, so nesting depth is limited only by memory.
//
// Failures: the entry points return the tree built before the reader stopped, or nothing when no
// element started; a malformed document is not an exception. Pass a KOPAXMLParseError to learn
// whether, where and why the reader stopped, or use parseData for a checked result.
//
// Threads: the options are atomics and all parse state lives on the calling thread's stack, so
// one parser object may serve several threads at once. Changing an option of sharedInstance
// changes the defaults of every later convenience call in the process.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/foundation/Status.h"
#include "platform/foundation/Value.h"

// Where and why the reader stopped. line and column count from 1; elementPath names the open
// elements from the document element down ("/catalog/book/title"), empty outside any element.
struct KOPAXMLParseError {
    std::string message;
    uint64_t line = 0;
    uint64_t column = 0;
    std::string elementPath;

    // "mismatched tag at line 3, column 5 in /catalog/book"
    std::string description() const;
};

class KOPAXMLDictionaryParser {
public:
    // attributesMode: how an element's attributes are stored in its node.
    static constexpr int32_t AttributesModePrefixed = 0;    // "_" + name, one key each
    static constexpr int32_t AttributesModeDictionary = 1;  // all under "__attributes"
    static constexpr int32_t AttributesModeUnprefixed = 2;  // merged with the child elements
    static constexpr int32_t AttributesModeDiscard = 3;     // dropped (so is any other value)

    // nodeNameMode: which nodes carry "__name".
    static constexpr int32_t NodeNameModeRootOnly = 0;
    static constexpr int32_t NodeNameModeAlways = 1;
    static constexpr int32_t NodeNameModeNever = 2;  // so is any other value

    // A parser with the defaults: collapse and trimming on, arrays only for repeats, comments
    // dropped, attributes prefixed, the name on the document element only.
    KOPAXMLDictionaryParser() = default;
    // The copy operation: the same six options, no parse state.
    KOPAXMLDictionaryParser(const KOPAXMLDictionaryParser& other);
    KOPAXMLDictionaryParser& operator=(const KOPAXMLDictionaryParser& other);
    KOPAXMLDictionaryParser copy() const { return KOPAXMLDictionaryParser(*this); }

    // The process-wide parser, created with the defaults on first use (safe from any thread).
    // Its options are the defaults of the kopaDictionaryWithXML... convenience operations.
    static KOPAXMLDictionaryParser& sharedInstance();

    bool collapseTextNodes() const { return m_collapseTextNodes.load(std::memory_order_relaxed); }
    void setCollapseTextNodes(bool on) { m_collapseTextNodes.store(on, std::memory_order_relaxed); }
    bool trimWhiteSpace() const { return m_trimWhiteSpace.load(std::memory_order_relaxed); }
    void setTrimWhiteSpace(bool on) { m_trimWhiteSpace.store(on, std::memory_order_relaxed); }
    bool alwaysUseArrays() const { return m_alwaysUseArrays.load(std::memory_order_relaxed); }
    void setAlwaysUseArrays(bool on) { m_alwaysUseArrays.store(on, std::memory_order_relaxed); }
    bool preserveComments() const { return m_preserveComments.load(std::memory_order_relaxed); }
    void setPreserveComments(bool on) { m_preserveComments.store(on, std::memory_order_relaxed); }
    int32_t attributesMode() const { return m_attributesMode.load(std::memory_order_relaxed); }
    void setAttributesMode(int32_t mode) { m_attributesMode.store(mode, std::memory_order_relaxed); }
    int32_t nodeNameMode() const { return m_nodeNameMode.load(std::memory_order_relaxed); }
    void setNodeNameMode(int32_t mode) { m_nodeNameMode.store(mode, std::memory_order_relaxed); }

    // The document element's node, or nothing when no element started. When the reader stops on
    // an error the tree built so far is returned and *error (when given) says why; otherwise
    // *error is left untouched.
    std::optional<platform::Value> dictionaryWithData(std::string_view bytes,
                                                      KOPAXMLParseError* error = nullptr) const;
    // The same for a text: it is UTF-8 already; an XML declaration naming another encoding still
    // governs how the bytes are decoded.
    std::optional<platform::Value> dictionaryWithString(std::string_view text,
                                                        KOPAXMLParseError* error = nullptr) const;
    // The whole file's bytes; nothing when the file cannot be read (then *error says why, with
    // line and column 0).
    std::optional<platform::Value> dictionaryWithFile(const std::filesystem::path& path,
                                                      KOPAXMLParseError* error = nullptr) const;

    // Checked form for callers that must not take a partial tree for a whole one: fails with the
    // error's description when the reader stopped early or the document has no element.
    platform::Result<platform::Value> parseData(std::string_view bytes) const;

    // The writer: value V under element name N as XML text. An array writes each member with
    // name N, separated by line feeds; a dictionary writes an element with its attributes,
    // comments, children and text (self-closing when it has no content); anything else writes
    // <N>text form</N>. No declaration, no indentation, no trailing line feed. Text is escaped so
    // it reads back unchanged (carriage returns, and tabs and line feeds in attribute values, as
    // character references).
    // Names are written as given and texts are not inspected, so a tree holding a name XML does
    // not allow, a character XML 1.0 cannot carry (control characters, U+FFFE, U+FFFF, bad UTF-8)
    // or a comment with "--" gives text no reader accepts; use checkedXMLStringForNode for trees
    // from outside.
    static std::string XMLStringForNode(const platform::Value& node, std::string_view nodeName);
    // The same text, or an error naming the first name, character or comment that XML cannot
    // carry and its key path in the tree ("/root/items/0/_bad key"). Its output always reads back.
    static platform::Result<std::string> checkedXMLStringForNode(const platform::Value& node,
                                                                 std::string_view nodeName);

private:
    std::atomic<bool> m_collapseTextNodes{true};
    std::atomic<bool> m_trimWhiteSpace{true};
    std::atomic<bool> m_alwaysUseArrays{false};
    std::atomic<bool> m_preserveComments{false};
    std::atomic<int32_t> m_attributesMode{AttributesModePrefixed};
    std::atomic<int32_t> m_nodeNameMode{NodeNameModeRootOnly};
};
