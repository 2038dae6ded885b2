#pragma once

// TemplateTable: the readable listing of `zandrel-host templates`, one line per form template
// (name, active, number of field definitions) followed by its field definitions, indented, each
// with its kind. Texts from the database are shown escaped (platform::DisplayText), so a name cannot
// break the table or drive the terminal.
//
// Given a width, lines fit it: long names are cut with "…" (a terminal); without one nothing
// is ever cut (a pipe or a file, where the whole name matters).

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/foundation/Value.h"

class TemplateTable {
public:
    struct Field {
        std::string name;
        int64_t typeCode = 0;
        bool active = true;
    };
    struct Template {
        std::string name;
        bool active = true;
        std::vector<Field> fields;
    };

    // One entry of a listing's JSON: its keys in the order they are written, each with its value.
    using JsonEntry = std::vector<std::pair<std::string, platform::Value>>;
    // The entries as a JSON array indented by two, keys in the given order (nested dictionaries
    // in key order), every key and value written by platform::JsonWriter: numbers beyond 64 bits
    // keep every digit, texts are escaped as JSON needs, bytes that are not UTF-8 become U+FFFD.
    // Ends in "\n". The layout is the one scripts read: "key": value, two spaces a level.
    static std::string renderJson(const std::vector<JsonEntry>& entries);

    // The table, each line ending in "\n". width 0: no limit.
    static std::string render(const std::vector<Template>& templates, size_t width);

    // What a field's type code means, as the listing names it ("pop-up"); unknown codes are
    // shown as numbers.
    static std::string kindName(int64_t typeCode);
};
