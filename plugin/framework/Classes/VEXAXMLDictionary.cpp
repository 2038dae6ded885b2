#include "plugin/framework/Classes/VEXAXMLDictionary.h"

#include <expat.h>
#include <fmt/format.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iterator>
#include <memory>
#include <unordered_map>
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

bool isAsciiSpace(char c) {
    return c == ' ' || (c >= 0x09 && c <= 0x0D);
}

std::string_view trimSpace(std::string_view s) {
    // ASCII first: the runs between elements are line breaks and indentation.
    while (!s.empty() && isAsciiSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isAsciiSpace(s.back())) s.remove_suffix(1);
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

bool isNameOrText(const std::string& key) {
    return key == kNameKey || key == kTextKey;
}

// Builds the tree from the reader's events. An open element is a frame that collects the node's
// entries in arrival order; the node becomes a Dictionary (sorted once) when the element ends,
// in the slot its parent set aside for it (a dictionary entry or an array member of the
// parent's frame). Slots cannot move while their element is open: a parent gains entries only
// after its open child has ended. Frames are reused from element to element, so their buffers
// are allocated once per depth, and each finished node gets one block of exactly its size.
class TreeBuilder {
public:
    explicit TreeBuilder(const Options& options) : m_options(options) { m_frames.reserve(64); }

    bool hasRoot() const { return m_hasRoot; }
    Value takeRoot() { return std::move(m_root); }
    const std::string& refusal() const { return m_refusal; }
    void refuse(std::string reason) { m_refusal = std::move(reason); }

    std::string elementPath() const {
        std::string path;
        for (size_t i = 0; i < m_depth; ++i) {
            path += '/';
            path += *m_frames[i].name;
        }
        return path;
    }

    // After the reader stopped early: the open elements become nodes as they are (innermost
    // first, as each lives in its parent's frame), with the text runs they completed, so the
    // partial tree shows what was read.
    void abandonOpenElements() {
        while (m_depth > 0) {
            Frame& frame = m_frames[--m_depth];
            storeHeldText(frame);
            *frame.slot = Value(frame.takeNode());
        }
    }

    // name and atts as the readers give them: attribute name/value pairs, null-terminated (atts
    // itself may be null when there are none). nameLength gives the length of an element or
    // attribute name (a reader that keeps one copy of each name can look it up).
    template <typename NameLength>
    void startElement(const char* name, const char* const* atts, NameLength&& nameLength) {
        flushText();
        Value* slot;
        const std::string* key;
        const bool isRoot = !m_hasRoot;
        if (isRoot) {
            m_hasRoot = true;
            m_rootName = name;
            slot = &m_root;
            key = &m_rootName;
        } else {
            Frame& parent = m_frames[m_depth - 1];
            const std::string_view elementName(name, nameLength(name));
            size_t index = parent.lookup(elementName);
            if (index == Frame::npos) {
                index = m_options.alwaysUseArrays ? parent.add(elementName, Array(1)) : parent.add(elementName);
                Value& stored = parent.entries[index].second;
                slot = stored.isArray() ? &stored.asArray().back() : &stored;
            } else {
                Value& existing = parent.entries[index].second;
                if (!existing.isArray()) {
                    Array members;
                    members.reserve(2);
                    members.push_back(std::move(existing));
                    existing = Value(std::move(members));
                }
                slot = &existing.asArray().emplace_back();
            }
            key = &parent.entries[index].first;
        }

        if (m_depth == m_frames.size()) m_frames.emplace_back();
        Frame& frame = m_frames[m_depth++];
        frame.slot = slot;
        frame.name = key;
        const int32_t nameMode = m_options.nodeNameMode;
        if (nameMode == KOPAXMLDictionaryParser::NodeNameModeAlways ||
            (nameMode == KOPAXMLDictionaryParser::NodeNameModeRootOnly && isRoot))
            frame.add(kNameKey, std::string_view(name));
        if (atts && atts[0]) storeAttributes(frame, atts, nameLength);
    }

    void endElement() {
        std::string_view run = m_pending;  // the element's last text run; m_pending is cleared below
        if (m_options.trimWhiteSpace) run = trimSpace(run);
        Frame& frame = m_frames[--m_depth];
        size_t text;
        if (frame.text.isNull()) {
            // The common leaf -- one text run and nothing else -- becomes its text straight away.
            if (m_options.collapseTextNodes && m_depth > 0 && frame.entries.empty() && !run.empty()) {
                *frame.slot = Value(run);
                m_pending.clear();
                return;
            }
            // A single run goes straight to the entries.
            text = frame.lookup(kTextKey);
            if (!run.empty()) {
                if (text == Frame::npos)
                    text = frame.add(kTextKey, run);
                else
                    appendRun(frame.entries[text].second, run);
            }
        } else {
            if (!run.empty()) appendRun(frame.text, run);
            text = storeHeldText(frame);
        }
        m_pending.clear();
        const bool isRoot = m_depth == 0;  // the document element has no parent to collapse into
        if (m_options.collapseTextNodes && !isRoot && text != Frame::npos &&
            std::all_of(frame.entries.begin(), frame.entries.end(),
                        [](const auto& entry) { return isNameOrText(entry.first); })) {
            *frame.slot = innerTextValue(std::move(frame.entries[text].second));
            frame.reset();
            return;
        }
        // An element without text stays a node, even when empty.
        *frame.slot = Value(frame.takeNode());
    }

    void characters(const char* s, size_t length) {
        // White space that opens a run goes when the run is trimmed anyway: the line breaks and
        // indentation between elements never reach the buffer.
        if (m_pending.empty() && m_options.trimWhiteSpace) {
            while (length > 0 && isAsciiSpace(*s)) {
                ++s;
                --length;
            }
        }
        m_pending.append(s, length);
    }

    void comment(const char* text) {
        // Comments outside the document element are dropped. A comment does not end the pending
        // text run: text on both sides joins into one.
        if (m_depth == 0) return;
        Frame& frame = m_frames[m_depth - 1];
        const size_t index = frame.lookup(kCommentsKey);
        if (index == Frame::npos) {
            Array comments;
            comments.emplace_back(std::string_view(text));
            frame.add(kCommentsKey, std::move(comments));
            return;
        }
        Value& comments = frame.entries[index].second;
        appendRun(comments, text);
        if (comments.isString()) comments = Value(Array{std::move(comments)});
    }

private:
    // Looked up by string_view: no temporary string per lookup.
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const noexcept { return std::hash<std::string_view>()(key); }
    };
    using KeyIndex = std::unordered_map<std::string, size_t, KeyHash, std::equal_to<>>;

    // The order of std::string's operator<, compared in line: node keys are short and mostly
    // differ in their first bytes, where a call to memcmp per comparison costs more than the scan.
    static bool keyBefore(const std::string& a, const std::string& b) {
        const size_t n = std::min(a.size(), b.size());
        for (size_t i = 0; i < n; ++i) {
            const auto x = static_cast<unsigned char>(a[i]);
            const auto y = static_cast<unsigned char>(b[i]);
            if (x != y) return x < y;
        }
        return a.size() < b.size();
    }

    struct Frame {
        static constexpr size_t npos = static_cast<size_t>(-1);
        // Past this many entries lookups go through a hash index instead of a scan, so an
        // element with a hundred thousand differently named children stays linear.
        static constexpr size_t kIndexedFrom = 32;

        Value* slot = nullptr;              // where the node goes in its parent (or the root)
        const std::string* name = nullptr;  // the element's name (its key in the parent)
        Dictionary::Entries entries;        // the node's entries in arrival order
        Value text;                         // the element's text runs, stored when it ends
        std::unique_ptr<KeyIndex> index;

        size_t lookup(std::string_view key) const {
            if (index) {
                auto it = index->find(key);
                return it == index->end() ? npos : it->second;
            }
            // From the back: of equal keys (an attribute merged over "__name") the later counts.
            // Length and first byte decide most comparisons without a call to memcmp.
            for (size_t i = entries.size(); i-- > 0;) {
                const std::string& candidate = entries[i].first;
                if (candidate.size() == key.size() && (key.empty() || candidate[0] == key[0]) && candidate == key)
                    return i;
            }
            return npos;
        }

        // Adds an entry built in place from the key and the value's constructor arguments.
        template <typename... ValueArgs>
        size_t add(std::string_view key, ValueArgs&&... valueArgs) {
            const size_t position = entries.size();
            if (index) {
                index->emplace(key, position);
            } else if (position + 1 == kIndexedFrom) {
                index = std::make_unique<KeyIndex>();
                for (size_t i = 0; i < position; ++i) index->emplace(entries[i].first, i);
                index->emplace(key, position);
            }
            entries.emplace_back(std::piecewise_construct, std::forward_as_tuple(key),
                                 std::forward_as_tuple(std::forward<ValueArgs>(valueArgs)...));
            return position;
        }

        // The entries as a dictionary in a block of their own; the frame's buffer stays for
        // the next element at this depth.
        // Keys are unique within a frame (every add follows a failed lookup), so sorting a
        // permutation and moving each entry once, straight to its place, is all it takes.
        Dictionary takeNode() {
            const size_t n = entries.size();
            if (n == 0) {
                reset();
                return Dictionary();
            }
            Dictionary::Entries exact;
            exact.reserve(n);
            auto keyLess = [this](uint32_t a, uint32_t b) { return keyBefore(entries[a].first, entries[b].first); };
            if (n <= kIndexedFrom) {
                uint32_t order[kIndexedFrom];
                for (uint32_t i = 0; i < n; ++i) {
                    uint32_t j = i;
                    for (; j > 0 && keyLess(i, order[j - 1]); --j) order[j] = order[j - 1];
                    order[j] = i;
                }
                for (size_t i = 0; i < n; ++i) exact.push_back(std::move(entries[order[i]]));
            } else {
                std::vector<uint32_t> order(n);
                for (uint32_t i = 0; i < n; ++i) order[i] = i;
                std::sort(order.begin(), order.end(), keyLess);
                for (uint32_t i : order) exact.push_back(std::move(entries[i]));
            }
            reset();
            return Dictionary(Dictionary::SortedUnique{}, std::move(exact));
        }

        void reset() {
            entries.clear();
            if (!text.isNull()) text = Value();
            if (index) index.reset();
        }
    };

    // Moves the element's text into its entries; returns the position of "__text" or npos.
    static size_t storeHeldText(Frame& frame) {
        size_t position = frame.lookup(kTextKey);
        if (frame.text.isNull()) return position;
        if (position == Frame::npos) {
            position = frame.add(kTextKey, std::move(frame.text));
        } else {
            Value& slot = frame.entries[position].second;
            if (frame.text.isArray()) {
                for (Value& run : frame.text.asArray()) appendRun(slot, run.asString());
            } else {
                appendRun(slot, frame.text.asString());
            }
        }
        frame.text = Value();
        return position;
    }

    void flushText() {
        if (m_pending.empty()) return;
        std::string_view run = m_pending;
        if (m_options.trimWhiteSpace) run = trimSpace(run);
        if (!run.empty() && m_depth > 0) appendRun(m_frames[m_depth - 1].text, run);
        m_pending.clear();
    }

    template <typename NameLength>
    void storeAttributes(Frame& frame, const char* const* atts, NameLength& nameLength) {
        switch (m_options.attributesMode) {
            case KOPAXMLDictionaryParser::AttributesModePrefixed:
                for (; atts[0]; atts += 2) {
                    m_key.assign(1, '_');
                    m_key.append(atts[0], nameLength(atts[0]));
                    storeAttribute(frame, m_key, atts[1]);
                }
                break;
            case KOPAXMLDictionaryParser::AttributesModeDictionary: {
                Dictionary::Entries attributes;
                for (; atts[0]; atts += 2)
                    attributes.emplace_back(std::string(atts[0], nameLength(atts[0])), Value(std::string_view(atts[1])));
                frame.add(kAttributesKey, Dictionary(std::move(attributes)));
                break;
            }
            case KOPAXMLDictionaryParser::AttributesModeUnprefixed:
                for (; atts[0]; atts += 2)
                    storeAttribute(frame, std::string_view(atts[0], nameLength(atts[0])), atts[1]);
                break;
            default:
                break;
        }
    }

    // An attribute replaces an entry of the same key ("__name" in the unprefixed mode).
    static void storeAttribute(Frame& frame, std::string_view key, const char* value) {
        const size_t existing = frame.entries.empty() ? Frame::npos : frame.lookup(key);
        if (existing != Frame::npos)
            frame.entries[existing].second = Value(std::string_view(value));
        else
            frame.add(key, std::string_view(value));
    }

    const Options m_options;
    Value m_root;
    bool m_hasRoot = false;
    std::string m_rootName;
    std::vector<Frame> m_frames;  // m_frames[0 .. m_depth) are the open elements
    size_t m_depth = 0;
    std::string m_pending;  // the pending text run; its capacity is reused run after run
    std::string m_key;      // scratch for prefixed attribute keys
    std::string m_refusal;  // why a handler stopped the reader
};

// ---- expat --------------------------------------------------------------------------------------

struct ExpatDeleter {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};

struct ExpatReader {
    TreeBuilder& builder;
    XML_Parser parser;

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** atts) {
        static_cast<ExpatReader*>(self)->builder.startElement(name, atts,
                                                              [](const char* s) { return std::strlen(s); });
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) { static_cast<ExpatReader*>(self)->builder.endElement(); }
    static void XMLCALL onCharacters(void* self, const XML_Char* s, int len) {
        static_cast<ExpatReader*>(self)->builder.characters(s, static_cast<size_t>(len));
    }
    static void XMLCALL onComment(void* self, const XML_Char* text) {
        static_cast<ExpatReader*>(self)->builder.comment(text);
    }
    // Entity declarations are where expansion attacks (billion laughs, quadratic blow-up) live;
    // data documents do not need them, so a document that declares one is refused outright.
    static void XMLCALL onEntityDeclaration(void* self, const XML_Char* entityName, int, const XML_Char*, int,
                                            const XML_Char*, const XML_Char*, const XML_Char*,
                                            const XML_Char*) {
        auto* reader = static_cast<ExpatReader*>(self);
        reader->builder.refuse(fmt::format("entity declarations are not accepted (entity \"{}\")", entityName));
        XML_StopParser(reader->parser, XML_FALSE);
    }
};

// The reference reader: every document it cannot read, the error it reports is the one the
// caller sees.
std::optional<Value> parseWithExpat(const Options& options, std::string_view bytes, KOPAXMLParseError* error) {
    std::unique_ptr<XML_ParserStruct, ExpatDeleter> parser(XML_ParserCreate(nullptr));
    if (!parser) {
        if (error) *error = KOPAXMLParseError{"out of memory creating the XML reader", 0, 0, {}};
        return std::nullopt;
    }
    // Parameter entities and external DTD subsets are never read.
    XML_SetParamEntityParsing(parser.get(), XML_PARAM_ENTITY_PARSING_NEVER);
    TreeBuilder builder(options);
    ExpatReader reader{builder, parser.get()};
    XML_SetUserData(parser.get(), &reader);
    XML_SetElementHandler(parser.get(), &ExpatReader::onStart, &ExpatReader::onEnd);
    XML_SetCharacterDataHandler(parser.get(), &ExpatReader::onCharacters);
    if (options.preserveComments) XML_SetCommentHandler(parser.get(), &ExpatReader::onComment);
    XML_SetEntityDeclHandler(parser.get(), &ExpatReader::onEntityDeclaration);

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

// ---- libxml2 ------------------------------------------------------------------------------------

// libxml2's SAX reader, without namespace processing (the SAX1 callbacks: names as written,
// attributes as name/value pairs), reads well-formed UTF-8 documents markedly faster than expat.
// It serves as the fast path only: whenever it reports anything -- an error, a warning, an
// entity or attribute-default declaration -- the document is read again by expat, so malformed
// and unusual documents get exactly expat's result and error report.
struct Libxml2Reader {
    // libxml2 keeps one copy of each element and attribute name in its dictionary for the whole
    // parse, so such a name's address identifies it: lengths are remembered instead of measured
    // at every use. Only names the dictionary owns are remembered.
    struct NameLengths {
        static constexpr size_t kSlots = 256;
        xmlDictPtr dictionary = nullptr;
        const char* names[kSlots] = {};
        size_t lengths[kSlots] = {};
        size_t operator()(const char* name) {
            const auto address = reinterpret_cast<uintptr_t>(name);
            const size_t slot = (address ^ (address >> 8)) % kSlots;
            if (names[slot] == name) return lengths[slot];
            const size_t length = std::strlen(name);
            if (dictionary && xmlDictOwns(dictionary, reinterpret_cast<const xmlChar*>(name)) == 1) {
                names[slot] = name;
                lengths[slot] = length;
            }
            return length;
        }
    };

    TreeBuilder builder;
    NameLengths nameLengths;
    xmlParserCtxtPtr context = nullptr;
    bool divert = false;  // the document goes to expat

    void stop() {
        divert = true;
        xmlStopParser(context);
    }

    static TreeBuilder& of(void* self) { return static_cast<Libxml2Reader*>(self)->builder; }
    static const char* text(const xmlChar* s) { return reinterpret_cast<const char*>(s); }

    static void onStart(void* self, const xmlChar* name, const xmlChar** atts) {
        auto* reader = static_cast<Libxml2Reader*>(self);
        reader->builder.startElement(text(name), reinterpret_cast<const char* const*>(atts), reader->nameLengths);
    }
    static void onEnd(void* self, const xmlChar*) { of(self).endElement(); }
    static void onCharacters(void* self, const xmlChar* s, int len) {
        of(self).characters(text(s), static_cast<size_t>(len));
    }
    static void onComment(void* self, const xmlChar* value) { of(self).comment(text(value)); }
    static void onEntityDeclaration(void* self, const xmlChar*, int, const xmlChar*, const xmlChar*, xmlChar*) {
        static_cast<Libxml2Reader*>(self)->stop();
    }
    // expat fills in attribute defaults declared in the internal subset; this reader would not.
    static void onAttributeDeclaration(void* self, const xmlChar*, const xmlChar*, int, int, const xmlChar*,
                                       xmlEnumerationPtr tree) {
        if (tree) xmlFreeEnumeration(tree);  // the handler owns it
        static_cast<Libxml2Reader*>(self)->stop();
    }
    static void onProblem(void* self, const char*, ...) { static_cast<Libxml2Reader*>(self)->stop(); }
};

// The fast path takes UTF-8 documents only (no declaration of another encoding, no UTF-16 byte
// order mark); expat decodes the others as it always has.
bool declaresUTF8(std::string_view bytes) {
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    if (bytes.empty() || bytes[0] != '<') return false;
    if (bytes.substr(0, 5) != "<?xml") return true;
    const std::string_view declaration = bytes.substr(0, bytes.find("?>"));
    const size_t at = declaration.find("encoding");
    if (at == std::string_view::npos) return true;
    const size_t open = declaration.find_first_of("\"'", at);
    if (open == std::string_view::npos) return false;
    const size_t close = declaration.find(declaration[open], open + 1);
    if (close == std::string_view::npos) return false;
    const std::string_view name = declaration.substr(open + 1, close - open - 1);
    return name.size() == 5 && std::equal(name.begin(), name.end(), "utf-8", [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

// The tree, or nothing when the document is not for this reader or it reported anything.
std::optional<Value> parseWithLibxml2(const Options& options, std::string_view bytes) {
    static const bool ready = [] {
        xmlInitParser();
        return xmlHasFeature(XML_WITH_SAX1) != 0;
    }();
    if (!ready || bytes.size() > static_cast<size_t>(INT_MAX) || !declaresUTF8(bytes)) return std::nullopt;

    Libxml2Reader reader{TreeBuilder(options), {}};
    reader.context = xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
    if (!reader.context) return std::nullopt;
    // libxml2 may build a document of its own on the side (for a DOCTYPE with declarations);
    // freeing the context leaves it to us.
    auto release = [](xmlParserCtxtPtr c) {
        if (c->myDoc) xmlFreeDoc(c->myDoc);
        c->myDoc = nullptr;
        xmlFreeParserCtxt(c);
    };
    std::unique_ptr<xmlParserCtxt, decltype(release)> context(reader.context, release);

    xmlSAXHandler handler{};
    handler.initialized = 1;  // not XML_SAX2_MAGIC: no namespace processing
    handler.startElement = &Libxml2Reader::onStart;
    handler.endElement = &Libxml2Reader::onEnd;
    handler.characters = &Libxml2Reader::onCharacters;
    handler.ignorableWhitespace = &Libxml2Reader::onCharacters;
    handler.cdataBlock = &Libxml2Reader::onCharacters;
    if (options.preserveComments) handler.comment = &Libxml2Reader::onComment;
    handler.entityDecl = &Libxml2Reader::onEntityDeclaration;
    handler.attributeDecl = &Libxml2Reader::onAttributeDeclaration;
    handler.warning = &Libxml2Reader::onProblem;
    handler.error = &Libxml2Reader::onProblem;
    handler.fatalError = &Libxml2Reader::onProblem;
    *context->sax = handler;
    context->userData = &reader;
    // No entity substitution, no DTD loading, no network. Documents may nest deeper and hold
    // longer texts than libxml2's defaults allow (as expat accepts them); entity expansion, which
    // those limits guard, never happens here.
    xmlCtxtUseOptions(context.get(), XML_PARSE_NONET | XML_PARSE_HUGE);
    *context->sax = handler;  // the options may have touched the handler; this one is final

    reader.nameLengths.dictionary = context->dict;
    const int status = xmlParseDocument(context.get());
    if (status != 0 || reader.divert || !context->wellFormed || !reader.builder.hasRoot()) return std::nullopt;
    return reader.builder.takeRoot();
}

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
    if (std::optional<Value> root = parseWithLibxml2(options, bytes)) return root;
    return parseWithExpat(options, bytes, error);
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
