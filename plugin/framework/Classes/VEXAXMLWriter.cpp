#include "plugin/framework/Classes/VEXAXMLWriter.h"

#include <fmt/format.h>

#include <algorithm>

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLText.h"
#include "plugin/framework/Classes/VEXAXMLTreeBuilder.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

constexpr std::string_view kTextKey = KOPAXMLTreeBuilder::kTextKey;
constexpr std::string_view kNameKey = KOPAXMLTreeBuilder::kNameKey;
constexpr std::string_view kCommentsKey = KOPAXMLTreeBuilder::kCommentsKey;
constexpr std::string_view kAttributesKey = KOPAXMLTreeBuilder::kAttributesKey;

bool isContent(const std::string& key) {
    return key.empty() || key[0] != '_';
}

bool isPrefixedAttribute(const std::string& key) {
    return key.size() >= 2 && key[0] == '_' && key != kCommentsKey && key != kTextKey && key != kNameKey;
}

}  // namespace

void KOPAXMLWriter::write(const Value& value, std::string_view name) {
    open(value, name);
    run();
}

void KOPAXMLWriter::writeContent(const Dictionary& node) {
    Frame frame;
    frame.node = &node;
    frame.child = node.begin();
    frame.contentStart = m_out.size();
    frame.contentOnly = true;
    m_stack.push_back(frame);
    run();
}

void KOPAXMLWriter::run() {
    while (!m_stack.empty() && !m_fault) {
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

void KOPAXMLWriter::separate(Frame& frame) {
    if (frame.wrotePart) m_out += '\n';
    frame.wrotePart = true;
}

void KOPAXMLWriter::open(const Value& value, std::string_view name) {
    if (value.isArray()) {
        Frame frame;
        frame.name = name;
        frame.array = &value.asArray();
        m_stack.push_back(frame);
        return;
    }
    if (m_checked && !isGoodName(name)) {
        failName(name, "element name", itemKey(name));
        return;
    }
    if (value.isDictionary()) {
        const Dictionary& node = value.asDictionary();
        Frame frame;
        frame.name = name;
        frame.node = &node;
        frame.child = node.begin();
        m_stack.push_back(frame);
        m_out += '<';
        m_out += name;
        appendAttributes(node);
        m_out += '>';
        m_stack.back().contentStart = m_out.size();
        return;
    }
    m_out += '<';
    m_out += name;
    m_out += '>';
    if (m_checked && value.isString() && KOPAXMLText::disallowedCharacter(value.asString())) {
        checkText(value.asString(), "text", itemKey(name));  // records the fault
        return;
    }
    appendTextForm(value, false);
    m_out += "</";
    m_out += name;
    m_out += '>';
}

void KOPAXMLWriter::appendTextForm(const Value& value, bool attribute) {
    const std::string formed = value.isString() ? std::string() : kopaXMLTextForm(value);
    const std::string_view text =
        value.isString() ? std::string_view(value.asString()) : std::string_view(formed);
    if (attribute)
        KOPAXMLText::appendEscapedAttribute(m_out, text);
    else
        KOPAXMLText::appendEscapedText(m_out, text);
}

void KOPAXMLWriter::appendAttributes(const Dictionary& node) {
    auto appendOne = [this](std::string_view name, const Value& value, std::string_view key) {
        if (m_checked) {
            if (!checkName(name, "attribute name", key)) return false;
            if (value.isString() && !checkText(value.asString(), "attribute value", key)) return false;
        }
        m_out += ' ';
        // Names are checked, not escaped, when checking; unchecked they are written encoded.
        kopaAppendXMLEncoded(m_out, name);
        m_out += "=\"";
        appendTextForm(value, true);
        m_out += '"';
        return true;
    };
    if (auto stored = node.find(kAttributesKey); stored != node.end()) {
        if (!stored->second.isDictionary()) return;
        for (const auto& [name, value] : stored->second.asDictionary())
            if (!appendOne(name, value,
                           m_checked ? fmt::format("{}/{}", kAttributesKey, name) : std::string()))
                return;
        return;
    }
    for (const auto& [key, value] : node) {
        if (!isPrefixedAttribute(key)) continue;
        if (!appendOne(std::string_view(key).substr(1), value, key)) return;
    }
}

// Writes the element's next part: its comments, then one child, then its text. False when
// everything is written.
bool KOPAXMLWriter::stepElement(Frame& frame) {
    const Dictionary& node = *frame.node;
    switch (frame.phase) {
        case Phase::Comments:
            if (auto comments = node.find(kCommentsKey); comments != node.end()) {
                auto writeComment = [&](const Value& comment, size_t index) {
                    if (m_checked) {
                        const std::string formed =
                            comment.isString() ? std::string() : kopaXMLTextForm(comment);
                        const std::string_view text = comment.isString() ? comment.asString() : formed;
                        if (!checkComment(text, fmt::format("{}/{}", kCommentsKey, index))) return false;
                    }
                    separate(frame);
                    m_out += "<!--";
                    appendTextForm(comment, false);
                    m_out += "-->";
                    return true;
                };
                if (comments->second.isArray()) {
                    const Array& list = comments->second.asArray();
                    for (size_t i = 0; i < list.size(); ++i)
                        if (!writeComment(list[i], i)) return false;
                } else if (!comments->second.isNull()) {
                    if (!writeComment(comments->second, 0)) return false;
                }
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
                if (m_checked && !checkText(*text, "text", kTextKey)) return false;
                separate(frame);
                KOPAXMLText::appendEscapedText(m_out, *text);
            }
            frame.phase = Phase::Done;
            return true;
        case Phase::Done:
            break;
    }
    return false;
}

bool KOPAXMLWriter::isGoodName(std::string_view name) {
    // ASCII names are checked in line; others are put to expat once per write.
    const bool ascii =
        std::all_of(name.begin(), name.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; });
    if (ascii) return KOPAXMLText::isName(name);
    std::string key(name);
    if (m_names.count(key)) return true;
    if (!KOPAXMLText::isName(name)) return false;
    m_names.insert(std::move(key));
    return true;
}

bool KOPAXMLWriter::checkName(std::string_view name, std::string_view kind, std::string_view key) {
    if (isGoodName(name)) return true;
    failName(name, kind, key);
    return false;
}

void KOPAXMLWriter::failName(std::string_view name, std::string_view kind, std::string_view key) {
    fail(fmt::format("the {} \"{}\" is not an XML name", kind, name), key,
         "rename the key (a name starts with a letter, '_' or ':' and holds no spaces or punctuation "
         "other than '-', '.', '_' and ':')");
}

bool KOPAXMLWriter::checkText(std::string_view text, std::string_view kind, std::string_view key) {
    if (std::optional<std::string> problem = KOPAXMLText::disallowedCharacter(text)) {
        fail(fmt::format("the {} holds {}, which XML 1.0 cannot carry", kind, *problem), key,
             "remove or replace that character");
        return false;
    }
    return true;
}

bool KOPAXMLWriter::checkComment(std::string_view text, std::string_view key) {
    if (!checkText(text, "comment", key)) return false;
    if (text.find("--") != std::string_view::npos) {
        fail("the comment contains \"--\", which an XML comment cannot hold", key, "remove or replace it");
        return false;
    }
    if (!text.empty() && text.back() == '-') {
        fail("the comment ends in '-', which an XML comment cannot", key, "remove or replace it");
        return false;
    }
    return true;
}

void KOPAXMLWriter::fail(std::string what, std::string_view key, std::string_view remedy) {
    if (!m_fault) m_fault = fmt::format("cannot write XML: {} at {}; {}", what, pathTo(key), remedy);
}

// The key of a value about to be opened in the innermost open frame: its index in an array,
// otherwise its name.
std::string KOPAXMLWriter::itemKey(std::string_view name) const {
    if (!m_stack.empty() && m_stack.back().array) return std::to_string(m_stack.back().index - 1);
    return std::string(name);
}

// The key path of the item being written: element names and array indexes from the outermost
// value down, then key (when not empty) -- the element itself when key is empty.
std::string KOPAXMLWriter::pathTo(std::string_view key) const {
    std::string path;
    for (size_t i = 0; i < m_stack.size(); ++i) {
        const Frame& frame = m_stack[i];
        if (frame.contentOnly) continue;
        if (!frame.array && i > 0 && m_stack[i - 1].array)
            path += fmt::format("/{}", m_stack[i - 1].index - 1);
        else
            path += fmt::format("/{}", frame.name);
    }
    if (!key.empty()) path += fmt::format("/{}", key);
    return path.empty() ? "/" : path;
}
