#include "app/host/TemplateTable.h"

#include <fmt/format.h>

#include <algorithm>

#include "app/host/TerminalText.h"
#include "platform/foundation/DisplayText.h"
#include "platform/foundation/JsonWriter.h"

namespace {

constexpr size_t kFieldIndent = 4;
constexpr size_t kGap = 2;
// A name column is never squeezed below this: a few letters of each name still tell them apart.
constexpr size_t kNarrowestNameColumn = 8;

std::string padded(const std::string& text, size_t width) {
    const size_t shown = TerminalText::displayWidth(text);
    return shown >= width ? text : text + std::string(width - shown, ' ');
}

}  // namespace

std::string TemplateTable::renderJson(const std::vector<JsonEntry>& entries) {
    platform::JsonFormat format;
    format.indent = 2;
    // A value's own lines go one level deeper per enclosing level; JSON texts hold no raw line
    // ends, so every line end in the writer's text is one of its layout.
    auto nested = [&](const platform::Value& value, std::string_view indent) {
        std::string text = platform::JsonWriter::text(value, format);
        std::string out;
        out.reserve(text.size());
        for (char c : text) {
            out += c;
            if (c == '\n') out += indent;
        }
        return out;
    };
    if (entries.empty()) return "[]\n";
    std::string out = "[";
    for (size_t e = 0; e < entries.size(); ++e) {
        out += e ? ",\n  {" : "\n  {";
        for (size_t k = 0; k < entries[e].size(); ++k) {
            out += k ? ",\n    " : "\n    ";
            out += platform::JsonWriter::text(platform::Value(entries[e][k].first), format);
            out += ": ";
            out += nested(entries[e][k].second, "    ");
        }
        out += entries[e].empty() ? "}" : "\n  }";
    }
    return out + "\n]\n";
}

std::string TemplateTable::kindName(int64_t typeCode) {
    switch (typeCode) {
        case 0:
            return "text";
        case 1:
            return "number";
        case 2:
            return "date";
        case 3:
            return "pop-up";
        case 4:
            return "checkbox";
        case 5:
            return "multi-line text";
        default:
            return fmt::format("type {}", typeCode);
    }
}

std::string TemplateTable::render(const std::vector<Template>& templates, size_t width) {
    struct Line {
        size_t indent;
        std::string name;
        std::string rest;  // the columns after the name
    };
    std::vector<Line> lines;
    lines.push_back({0, "NAME", fmt::format("{:<6}{}{}", "ACTIVE", std::string(kGap, ' '), "FIELDS")});
    for (const auto& form : templates) {
        lines.push_back({0, platform::DisplayText::printable(form.name),
                         fmt::format("{:<6}{}{}", form.active ? "yes" : "no", std::string(kGap, ' '),
                                     form.fields.size())});
        for (const auto& field : form.fields)
            lines.push_back({kFieldIndent, platform::DisplayText::printable(field.name),
                             kindName(field.typeCode) + (field.active ? "" : " (inactive)")});
    }

    size_t nameColumn = 0, rest = 0;
    for (const auto& line : lines) {
        nameColumn = std::max(nameColumn, line.indent + TerminalText::displayWidth(line.name));
        rest = std::max(rest, TerminalText::displayWidth(line.rest));
    }
    if (width && nameColumn + kGap + rest > width)
        nameColumn = std::max(kNarrowestNameColumn, width > kGap + rest ? width - kGap - rest : 0);

    std::string out;
    for (const auto& line : lines) {
        const size_t room = nameColumn > line.indent ? nameColumn - line.indent : 1;
        std::string text = std::string(line.indent, ' ') +
                           padded(width ? TerminalText::truncated(line.name, room) : line.name, room) +
                           std::string(kGap, ' ') + line.rest;
        // A terminal narrower than the narrowest table still gets whole lines, not wrapped ones.
        if (width) text = TerminalText::truncated(text, width);
        while (!text.empty() && text.back() == ' ') text.pop_back();
        out += text;
        out += '\n';
    }
    return out;
}
