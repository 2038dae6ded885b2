#include "plugin/framework/Classes/VEXAXMLDictionary.h"

#include <expat.h>
#include <fmt/format.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Categories/NSString+VEXA.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr std::string_view kNameKey = "__name";
constexpr std::string_view kTextKey = "__text";
constexpr std::string_view kCommentsKey = "__comments";
constexpr std::string_view kAttributesKey = "__attributes";

// One snapshot of the options per parse: an option changed by another thread mid-parse does not
// give a document two shapes.
struct Options {
    bool collapseTextNodes;
    bool trimWhiteSpace;
    bool alwaysUseArrays;
    bool preserveComments;
    int32_t attributesMode;
    int32_t nodeNameMode;
};

// Length of the white-space or line-break character that starts s, or 0. The set is Unicode's
// space separators, line and paragraph separators, tab, U+000A..U+000D and U+0085.
size_t leadingSpaceLength(std::string_view s) {
    const auto b0 = static_cast<unsigned char>(s[0]);
    if (b0 < 0x80) return (b0 == ' ' || (b0 >= 0x09 && b0 <= 0x0D)) ? 1 : 0;
    if (s.size() >= 2 && b0 == 0xC2) {
        const auto b1 = static_cast<unsigned char>(s[1]);
        return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;
    }
    if (s.size() < 3) return 0;
    const auto b1 = static_cast<unsigned char>(s[1]);
    const auto b2 = static_cast<unsigned char>(s[2]);
    if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
    if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
    if (b0 == 0xE2 && b1 == 0x80) {                             // U+2000..U+200A, U+2028/9, U+202F
        return (b2 <= 0x8A || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
    }
    if (b0 == 0xE2 && b1 == 0x81) return b2 == 0x9F ? 3 : 0;  // U+205F
    return 0;
}

std::string_view trimSpace(std::string_view s) {
    while (!s.empty()) {
        const size_t n = leadingSpaceLength(s);
        if (n == 0) break;
        s.remove_prefix(n);
    }
    while (!s.empty()) {
        // Step back over continuation bytes to the start of the last character.
        size_t start = s.size() - 1;
        while (start > 0 && s.size() - start < 3 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80)
            --start;
        const std::string_view last = s.substr(start);
        if (leadingSpaceLength(last) != last.size()) break;
        s.remove_suffix(last.size());
    }
    return s;
}

// Stores a text run where the element's text goes: the first run as a text, a second one turns
// it into an array of runs, later ones are appended.
void appendRun(Value& slot, std::string_view run) {
    if (slot.isNull()) {
        slot = Value(run);
    } else if (slot.isArray()) {
        slot.asArray().emplace_back(run);
    } else {
        Array runs;
        runs.reserve(2);
        runs.push_back(std::move(slot));
        runs.emplace_back(run);
        slot = Value(std::move(runs));
    }
}

// What a text-only element collapses into: its text, runs joined by line feeds.
Value innerTextValue(Value&& text) {
    if (!text.isArray()) return std::move(text);
    return Value(kopaJoinedTextRuns(text.asArray()));
}

bool holdsOnlyNameAndText(const Dictionary& node) {
    for (const auto& [key, value] : node)
        if (key != kNameKey && key != kTextKey) return false;
    return true;
}

// Builds the tree from expat's events. Open elements are frames holding a pointer to the node's
// slot in its parent (a dictionary entry or an array member). A slot cannot move while its
// element is open: its parent gains children only after it closes. That pointer is also how a
// collapsing element finds its place in the parent, without searching.
class TreeBuilder {
public:
    TreeBuilder(const Options& options, XML_Parser parser) : m_options(options), m_parser(parser) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &TreeBuilder::onStart, &TreeBuilder::onEnd);
        XML_SetCharacterDataHandler(parser, &TreeBuilder::onCharacters);
        if (options.preserveComments) XML_SetCommentHandler(parser, &TreeBuilder::onComment);
        XML_SetEntityDeclHandler(parser, &TreeBuilder::onEntityDeclaration);
        m_stack.reserve(64);
    }

    bool hasRoot() const { return m_hasRoot; }
    Value takeRoot() { return std::move(m_root); }
    const std::string& refusal() const { return m_refusal; }

    std::string elementPath() const {
        std::string path;
        for (const Frame& frame : m_stack) {
            path += '/';
            path += *frame.name;
        }
        return path;
    }

    // After the reader stopped early: text held back in open frames goes into their nodes, so
    // the partial tree shows what was read.
    void abandonOpenElements() {
        for (Frame& frame : m_stack)
            if (!frame.text.isNull())
                appendStoredText((*frame.node)[std::string(kTextKey)], std::move(frame.text));
        m_stack.clear();
    }

private:
    struct Frame {
        Value* slot;              // where the node lives in its parent (or the root)
        Dictionary* node;         // slot's dictionary
        const std::string* name;  // the element's name (its key in the parent)
        Value text;               // text runs held back while the node is plain (see `plain`)
        bool plain;               // the node holds no key but "__name", so its text waits here
    };

    static void appendStoredText(Value& slot, Value&& text) {
        if (slot.isNull()) {
            slot = std::move(text);
        } else if (text.isArray()) {
            for (Value& run : text.asArray()) appendRun(slot, run.asString());
        } else {
            appendRun(slot, text.asString());
        }
    }

    // The node is about to hold more than its name and text: its text moves into the node.
    static void makeStructured(Frame& frame) {
        if (!frame.plain) return;
        frame.plain = false;
        if (!frame.text.isNull()) frame.node->insert_or_assign(std::string(kTextKey), std::move(frame.text));
        frame.text = Value();
    }

    void flushText() {
        if (m_pending.empty()) return;
        std::string_view run = m_pending;
        if (m_options.trimWhiteSpace) run = trimSpace(run);
        if (!run.empty() && !m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.plain)
                appendRun(frame.text, run);
            else
                appendRun((*frame.node)[std::string(kTextKey)], run);
        }
        m_pending.clear();
    }

    void storeAttributes(Dictionary& node, const XML_Char** atts) {
        switch (m_options.attributesMode) {
            case KOPAXMLDictionaryParser::AttributesModePrefixed:
                for (; atts[0]; atts += 2) {
                    m_key.assign(1, '_');
                    m_key += atts[0];
                    node.insert_or_assign(m_key, Value(std::string_view(atts[1])));
                }
                break;
            case KOPAXMLDictionaryParser::AttributesModeDictionary: {
                Dictionary attributes;
                for (; atts[0]; atts += 2)
                    attributes.insert_or_assign(atts[0], Value(std::string_view(atts[1])));
                node.insert_or_assign(std::string(kAttributesKey), Value(std::move(attributes)));
                break;
            }
            case KOPAXMLDictionaryParser::AttributesModeUnprefixed:
                for (; atts[0]; atts += 2) node.insert_or_assign(atts[0], Value(std::string_view(atts[1])));
                break;
            default:
                break;
        }
    }

    void startElement(const XML_Char* name, const XML_Char** atts) {
        flushText();
        Value* slot;
        const std::string* key;
        const bool isRoot = !m_hasRoot;
        if (isRoot) {
            m_hasRoot = true;
            m_root = Value(Dictionary());
            m_rootName = name;
            slot = &m_root;
            key = &m_rootName;
        } else {
            Frame& parent = m_stack.back();
            makeStructured(parent);
            Dictionary& siblings = *parent.node;
            const std::string_view nameView(name);
            auto it = siblings.lower_bound(nameView);
            if (it != siblings.end() && it->first == nameView) {
                Value& existing = it->second;
                if (existing.isArray()) {
                    Array& members = existing.asArray();
                    members.emplace_back(Dictionary());
                    slot = &members.back();
                } else {
                    Array members;
                    members.reserve(4);  // repeated elements rarely stop at two
                    members.push_back(std::move(existing));
                    members.emplace_back(Dictionary());
                    existing = Value(std::move(members));
                    slot = &existing.asArray().back();
                }
            } else if (m_options.alwaysUseArrays) {
                Array members;
                members.emplace_back(Dictionary());
                it = siblings.emplace_hint(it, nameView, Value(std::move(members)));
                slot = &it->second.asArray().back();
            } else {
                it = siblings.emplace_hint(it, nameView, Value(Dictionary()));
                slot = &it->second;
            }
            key = &it->first;
        }
        Dictionary& node = slot->asDictionary();
        const int32_t nameMode = m_options.nodeNameMode;
        if (nameMode == KOPAXMLDictionaryParser::NodeNameModeAlways ||
            (nameMode == KOPAXMLDictionaryParser::NodeNameModeRootOnly && isRoot))
            node.emplace(kNameKey, Value(std::string_view(name)));
        if (atts[0]) storeAttributes(node, atts);
        const bool plain = node.empty() || (node.size() == 1 && node.begin()->first == kNameKey);
        m_stack.push_back(Frame{slot, &node, key, Value(), plain});
    }

    void endElement() {
        flushText();
        Frame frame = std::move(m_stack.back());
        m_stack.pop_back();
        const bool isRoot = m_stack.empty();  // the document element has no parent to collapse into
        if (m_options.collapseTextNodes && !isRoot) {
            if (frame.plain) {
                if (!frame.text.isNull()) *frame.slot = innerTextValue(std::move(frame.text));
                return;  // an element without text stays an empty node
            }
            if (holdsOnlyNameAndText(*frame.node)) {
                auto text = frame.node->find(kTextKey);
                if (text != frame.node->end()) {
                    Value inner = innerTextValue(std::move(text->second));
                    *frame.slot = std::move(inner);
                }
                return;
            }
        }
        if (!frame.text.isNull()) frame.node->insert_or_assign(std::string(kTextKey), std::move(frame.text));
    }

    void comment(const XML_Char* text) {
        // Comments outside the document element are dropped. A comment does not end the pending
        // text run: text on both sides joins into one.
        if (m_stack.empty()) return;
        Frame& frame = m_stack.back();
        makeStructured(frame);
        Value& comments = (*frame.node)[std::string(kCommentsKey)];
        appendRun(comments, text);
        if (comments.isString()) comments = Value(Array{std::move(comments)});
    }

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** atts) {
        static_cast<TreeBuilder*>(self)->startElement(name, atts);
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) { static_cast<TreeBuilder*>(self)->endElement(); }
    static void XMLCALL onCharacters(void* self, const XML_Char* s, int len) {
        static_cast<TreeBuilder*>(self)->m_pending.append(s, static_cast<size_t>(len));
    }
    static void XMLCALL onComment(void* self, const XML_Char* text) {
        static_cast<TreeBuilder*>(self)->comment(text);
    }
    // Entity declarations are where expansion attacks (billion laughs, quadratic blow-up) live;
    // data documents do not need them, so a document that declares one is refused outright.
    static void XMLCALL onEntityDeclaration(void* self, const XML_Char* entityName, int, const XML_Char*, int,
                                            const XML_Char*, const XML_Char*, const XML_Char*,
                                            const XML_Char*) {
        auto* builder = static_cast<TreeBuilder*>(self);
        builder->m_refusal = fmt::format("entity declarations are not accepted (entity \"{}\")", entityName);
        XML_StopParser(builder->m_parser, XML_FALSE);
    }

    const Options m_options;
    XML_Parser m_parser;
    Value m_root;
    bool m_hasRoot = false;
    std::string m_rootName;
    std::vector<Frame> m_stack;
    std::string m_pending;  // the pending text run; its capacity is reused run after run
    std::string m_key;      // scratch for prefixed attribute keys
    std::string m_refusal;  // why a handler stopped the reader
};

struct ParserDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

}  // namespace

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
    const Options options{collapseTextNodes(), trimWhiteSpace(), alwaysUseArrays(),
                          preserveComments(),  attributesMode(), nodeNameMode()};
    std::unique_ptr<XML_ParserStruct, ParserDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        if (error) *error = KOPAXMLParseError{"out of memory creating the XML reader", 0, 0, {}};
        return std::nullopt;
    }
    // Parameter entities and external DTD subsets are never read.
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    TreeBuilder builder(options, parser.get());

    // expat takes int lengths; larger documents go in slices.
    constexpr size_t kSlice = size_t{1} << 30;
    bool failed = false;
    do {
        const size_t length = std::min(bytes.size(), kSlice);
        const bool last = length == bytes.size();
        if (XML_Parse(parser.get(), bytes.data(), static_cast<int>(length), last) != XML_STATUS_OK) {
            failed = true;
            break;
        }
        bytes.remove_prefix(length);
    } while (!bytes.empty());

    if (failed) {
        if (error) {
            const XML_Error code = XML_GetErrorCode(parser.get());
            std::string message = XML_ErrorString(code);
            if (!builder.refusal().empty())
                message = builder.refusal();
            else if (code == XML_ERROR_NO_ELEMENTS && builder.hasRoot())
                message =
                    "the document ends before all its elements are closed";  // expat says "no element found"
            *error = KOPAXMLParseError{std::move(message), XML_GetCurrentLineNumber(parser.get()),
                                       XML_GetCurrentColumnNumber(parser.get()) + 1, builder.elementPath()};
        }
        builder.abandonOpenElements();
    }
    if (!builder.hasRoot()) return std::nullopt;
    return builder.takeRoot();
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

// ---- Writer ----------------------------------------------------------------------------------

namespace {

bool isContent(const std::string& key) {
    return key.empty() || key[0] != '_';
}

void appendEncodedTextForm(std::string& out, const Value& value) {
    if (value.isString())
        kopaAppendXMLEncoded(out, value.asString());
    else
        kopaAppendXMLEncoded(out, kopaXMLTextForm(value));
}

void appendAttributes(std::string& out, const Dictionary& node) {
    auto appendOne = [&out](std::string_view name, const Value& value) {
        out += ' ';
        kopaAppendXMLEncoded(out, name);
        out += "=\"";
        appendEncodedTextForm(out, value);
        out += '"';
    };
    if (auto stored = node.find(kAttributesKey); stored != node.end()) {
        if (stored->second.isDictionary())
            for (const auto& [name, value] : stored->second.asDictionary()) appendOne(name, value);
        return;
    }
    for (const auto& [key, value] : node) {
        if (key.size() < 2 || key[0] != '_' || key == kCommentsKey || key == kTextKey || key == kNameKey)
            continue;
        appendOne(std::string_view(key).substr(1), value);
    }
}

// Writes with an explicit stack instead of recursion: one frame per open array or element.
class XMLWriter {
public:
    explicit XMLWriter(std::string& out) : m_out(out) {}

    void write(const Value& root, std::string_view rootName) {
        open(root, rootName);
        run();
    }

    // Only the element's content, without its start and end tags.
    void writeContent(const Dictionary& node) {
        Frame frame;
        frame.node = &node;
        frame.child = node.begin();
        frame.contentStart = m_out.size();
        frame.contentOnly = true;
        m_stack.push_back(frame);
        run();
    }

private:
    void run() {
        while (!m_stack.empty()) {
            Frame& frame = m_stack.back();
            if (frame.array) {
                if (frame.index < frame.array->size()) {
                    if (frame.index > 0) m_out += '\n';
                    const Value& member = (*frame.array)[frame.index++];
                    open(member, frame.name);  // may invalidate `frame`
                } else {
                    m_stack.pop_back();
                }
                continue;
            }
            if (!stepElement(frame)) {
                if (frame.contentOnly) {
                    // nothing to close
                } else if (m_out.size() == frame.contentStart) {
                    m_out.back() = '/';  // no content: the start tag closes itself
                    m_out += '>';
                } else {
                    m_out += "</";
                    m_out += frame.name;
                    m_out += '>';
                }
                m_stack.pop_back();
            }
        }
    }

    enum class Phase { Comments, Children, Text, Done };

    struct Frame {
        std::string_view name;
        const Array* array = nullptr;  // array frame: members written under `name`
        size_t index = 0;
        const Dictionary* node = nullptr;  // element frame
        Phase phase = Phase::Comments;
        Dictionary::const_iterator child;
        size_t contentStart = 0;  // output size right after the start tag's '>'
        bool wrotePart = false;
        bool contentOnly = false;  // the outermost frame of writeContent: no tags of its own
    };

    void separate(Frame& frame) {
        if (frame.wrotePart) m_out += '\n';
        frame.wrotePart = true;
    }

    void open(const Value& value, std::string_view name) {
        if (value.isArray()) {
            Frame frame;
            frame.name = name;
            frame.array = &value.asArray();
            m_stack.push_back(frame);
        } else if (value.isDictionary()) {
            const Dictionary& node = value.asDictionary();
            m_out += '<';
            m_out += name;
            appendAttributes(m_out, node);
            m_out += '>';
            Frame frame;
            frame.name = name;
            frame.node = &node;
            frame.child = node.begin();
            frame.contentStart = m_out.size();
            m_stack.push_back(frame);
        } else {
            m_out += '<';
            m_out += name;
            m_out += '>';
            appendEncodedTextForm(m_out, value);
            m_out += "</";
            m_out += name;
            m_out += '>';
        }
    }

    // Writes the element's next part: its comments, then one child, then its text. False when
    // everything is written.
    bool stepElement(Frame& frame) {
        const Dictionary& node = *frame.node;
        switch (frame.phase) {
            case Phase::Comments:
                if (auto comments = node.find(kCommentsKey); comments != node.end()) {
                    auto writeComment = [&](const Value& comment) {
                        separate(frame);
                        m_out += "<!--";
                        appendEncodedTextForm(m_out, comment);
                        m_out += "-->";
                    };
                    if (comments->second.isArray())
                        for (const Value& comment : comments->second.asArray()) writeComment(comment);
                    else if (!comments->second.isNull())
                        writeComment(comments->second);
                }
                frame.phase = Phase::Children;
                return true;
            case Phase::Children: {
                while (frame.child != node.end() && !isContent(frame.child->first)) ++frame.child;
                if (frame.child == node.end()) {
                    frame.phase = Phase::Text;
                    return true;
                }
                const auto& [key, value] = *frame.child;
                ++frame.child;
                separate(frame);
                open(value, key);  // may invalidate `frame`
                return true;
            }
            case Phase::Text:
                if (std::optional<std::string> text = kopaInnerText(node)) {
                    separate(frame);
                    kopaAppendXMLEncoded(m_out, *text);
                }
                frame.phase = Phase::Done;
                return true;
            case Phase::Done:
                break;
        }
        return false;
    }

    std::string& m_out;
    std::vector<Frame> m_stack;
};

}  // namespace

std::string KOPAXMLDictionaryParser::XMLStringForNode(const Value& node, std::string_view nodeName) {
    std::string out;
    XMLWriter(out).write(node, nodeName);
    return out;
}

// These two accessors live beside the writer they drive.
std::string kopaInnerXML(const Value& node) {
    std::string out;
    if (node.isDictionary()) XMLWriter(out).writeContent(node.asDictionary());
    return out;
}

std::string kopaXMLString(const Value& node) {
    const Value* name = kopaNodeName(node);
    return KOPAXMLDictionaryParser::XMLStringForNode(node,
                                                     name && name->isString() ? name->asString() : "root");
}
