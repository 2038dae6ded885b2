#include "plugin/framework/Classes/VEXAXMLTreeBuilder.h"

#include "plugin/framework/Categories/NSDictionary+VEXAXMLDictionary.h"

using platform::Array;
using platform::Dictionary;
using platform::Value;

namespace {

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
    return key == KOPAXMLTreeBuilder::kNameKey || key == KOPAXMLTreeBuilder::kTextKey;
}

}  // namespace

std::string KOPAXMLTreeBuilder::elementPath() const {
    std::string path;
    for (size_t i = 0; i < m_depth; ++i) {
        path += '/';
        path += *m_frames[i].name;
    }
    return path;
}

void KOPAXMLTreeBuilder::abandonOpenElements() {
    while (m_depth > 0) {
        Frame& frame = m_frames[--m_depth];
        storeHeldText(frame);
        *frame.slot = Value(frame.takeNode());
    }
}

void KOPAXMLTreeBuilder::endElement() {
    std::string_view run = m_pending;  // the element's last text run; m_pending is cleared below
    if (m_options.trimWhiteSpace) run = KOPAXMLText::trimSpace(run);
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

void KOPAXMLTreeBuilder::comment(const char* text) {
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

Dictionary KOPAXMLTreeBuilder::Frame::takeNode() {
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

size_t KOPAXMLTreeBuilder::storeHeldText(Frame& frame) {
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

void KOPAXMLTreeBuilder::storePendingRun() {
    std::string_view run = m_pending;
    if (m_options.trimWhiteSpace) run = KOPAXMLText::trimSpace(run);
    if (!run.empty() && m_depth > 0) appendRun(m_frames[m_depth - 1].text, run);
    m_pending.clear();
}
