#pragma once

// Writes a node tree (or an array of nodes, or a plain value) as XML text, without recursion:
// an explicit stack of open arrays and elements, so depth is limited only by memory. Output is
// appended to one string; nothing else is allocated per element.
//
// Text is escaped with the five entity replacements, plus character references for the white
// space a reader would otherwise change (carriage return in text; tab, line feed and carriage
// return in attribute values), so a written value reads back as it was.
//
// Unchecked (the default), names are written as given and texts are not inspected: a tree with
// a name XML does not allow, a character XML 1.0 cannot carry or a comment holding "--" gives
// text that no reader accepts. Checked, the first such fault stops the writer with a message
// naming it and its key path in the tree ("/root/items/0/_bad key").

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/foundation/Value.h"

class KOPAXMLWriter {
public:
    KOPAXMLWriter(std::string& out, bool checked) : m_out(out), m_checked(checked) {}

    // The value as an element (or elements, for an array) named name.
    void write(const platform::Value& value, std::string_view name);
    // Only the node's content, without its start and end tags.
    void writeContent(const platform::Dictionary& node);

    // Checked writing: the first fault found, or nothing. The output is incomplete after one.
    const std::optional<std::string>& fault() const { return m_fault; }

private:
    enum class Phase { Comments, Children, Text, Done };

    struct Frame {
        std::string_view name;
        const platform::Array* array = nullptr;  // array frame: members written under `name`
        size_t index = 0;
        const platform::Dictionary* node = nullptr;  // element frame
        Phase phase = Phase::Comments;
        platform::Dictionary::const_iterator child;
        size_t contentStart = 0;  // output size right after the start tag's '>'
        bool wrotePart = false;
        bool contentOnly = false;  // the outermost frame of writeContent: no tags of its own
    };

    void run();
    void open(const platform::Value& value, std::string_view name);
    bool stepElement(Frame& frame);
    void separate(Frame& frame);
    void appendAttributes(const platform::Dictionary& node);
    void appendTextForm(const platform::Value& value, bool attribute);

    // Checks; each records a fault (when checking) and returns false when the item is bad.
    bool isGoodName(std::string_view name);
    bool checkName(std::string_view name, std::string_view kind, std::string_view key);
    void failName(std::string_view name, std::string_view kind, std::string_view key);
    bool checkText(std::string_view text, std::string_view kind, std::string_view key);
    bool checkComment(std::string_view text, std::string_view key);
    void fail(std::string what, std::string_view key, std::string_view remedy);
    std::string pathTo(std::string_view key) const;
    std::string itemKey(std::string_view name) const;

    std::string& m_out;
    const bool m_checked;
    std::vector<Frame> m_stack;
    std::optional<std::string> m_fault;
    std::unordered_set<std::string> m_names;  // non-ASCII names already found good (checked writing)
};
