#pragma once

// Builds the node tree of one document from a reader's events (element start with its attribute
// pairs, element end, character runs, comments), following the parser's options. Both readers
// drive the same builder, so a document read by either gives the same tree from the same events.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/foundation/Value.h"
#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLText.h"

// One snapshot of the options per parse: an option changed by another thread mid-parse does not
// give a document two shapes.
struct KOPAXMLReadOptions {
    bool collapseTextNodes = true;
    bool trimWhiteSpace = true;
    bool alwaysUseArrays = false;
    bool preserveComments = false;
    int32_t attributesMode = 0;
    int32_t nodeNameMode = 0;
};

// Builds the tree from the reader's events. An open element is a frame that collects the node's
// entries in arrival order; the node becomes a platform::Dictionary (sorted once) when the element ends,
// in the slot its parent set aside for it (a dictionary entry or an array member of the
// parent's frame). Slots cannot move while their element is open: a parent gains entries only
// after its open child has ended. Frames are reused from element to element, so their buffers
// are allocated once per depth, and each finished node gets one block of exactly its size.
class KOPAXMLTreeBuilder {
public:
    static constexpr std::string_view kNameKey = "__name";
    static constexpr std::string_view kTextKey = "__text";
    static constexpr std::string_view kCommentsKey = "__comments";
    static constexpr std::string_view kAttributesKey = "__attributes";

    explicit KOPAXMLTreeBuilder(const KOPAXMLReadOptions& options) : m_options(options) {
        m_frames.reserve(64);
    }

    bool hasRoot() const { return m_hasRoot; }
    platform::Value takeRoot() { return std::move(m_root); }
    const std::string& refusal() const { return m_refusal; }
    void refuse(std::string reason) { m_refusal = std::move(reason); }

    std::string elementPath() const;

    // After the reader stopped early: the open elements become nodes as they are (innermost
    // first, as each lives in its parent's frame), with the text runs they completed, so the
    // partial tree shows what was read.
    void abandonOpenElements();

    // name and atts as the readers give them: attribute name/value pairs, null-terminated (atts
    // itself may be null when there are none). nameLength gives the length of an element or
    // attribute name (a reader that keeps one copy of each name can look it up).
    template <typename NameLength>
    void startElement(const char* name, const char* const* atts, NameLength&& nameLength) {
        flushText();
        platform::Value* slot;
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
                index = m_options.alwaysUseArrays ? parent.add(elementName, platform::Array(1))
                                                  : parent.add(elementName);
                platform::Value& stored = parent.entries[index].second;
                slot = stored.isArray() ? &stored.asArray().back() : &stored;
            } else {
                platform::Value& existing = parent.entries[index].second;
                if (!existing.isArray()) {
                    platform::Array members;
                    members.reserve(2);
                    members.push_back(std::move(existing));
                    existing = platform::Value(std::move(members));
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

    void endElement();

    void characters(const char* s, size_t length) {
        // White space that opens a run goes when the run is trimmed anyway: the line breaks and
        // indentation between elements never reach the buffer.
        if (m_pending.empty() && m_options.trimWhiteSpace) {
            while (length > 0 && KOPAXMLText::isAsciiSpace(*s)) {
                ++s;
                --length;
            }
        }
        m_pending.append(s, length);
    }

    void comment(const char* text);

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

        platform::Value* slot = nullptr;        // where the node goes in its parent (or the root)
        const std::string* name = nullptr;      // the element's name (its key in the parent)
        platform::Dictionary::Entries entries;  // the node's entries in arrival order
        platform::Value text;                   // the element's text runs, stored when it ends
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
                if (candidate.size() == key.size() && (key.empty() || candidate[0] == key[0]) &&
                    candidate == key)
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
        platform::Dictionary takeNode();

        void reset() {
            entries.clear();
            if (!text.isNull()) text = platform::Value();
            if (index) index.reset();
        }
    };

    // Moves the element's text into its entries; returns the position of "__text" or npos.
    static size_t storeHeldText(Frame& frame);

    // Ends the pending text run: stored with the innermost open element, trimmed when asked.
    void flushText() {
        if (!m_pending.empty()) storePendingRun();
    }
    void storePendingRun();

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
                platform::Dictionary::Entries attributes;
                for (; atts[0]; atts += 2)
                    attributes.emplace_back(std::string(atts[0], nameLength(atts[0])),
                                            platform::Value(std::string_view(atts[1])));
                frame.add(kAttributesKey, platform::Dictionary(std::move(attributes)));
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
            frame.entries[existing].second = platform::Value(std::string_view(value));
        else
            frame.add(key, std::string_view(value));
    }

    const KOPAXMLReadOptions m_options;
    platform::Value m_root;
    bool m_hasRoot = false;
    std::string m_rootName;
    std::vector<Frame> m_frames;  // m_frames[0 .. m_depth) are the open elements
    size_t m_depth = 0;
    std::string m_pending;  // the pending text run; its capacity is reused run after run
    std::string m_key;      // scratch for prefixed attribute keys
    std::string m_refusal;  // why a handler stopped the reader
};
