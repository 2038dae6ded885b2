#pragma once

// TemplateTable: the readable listing of `zandrel-host templates`, one line per form template
// (name, active, number of field definitions) followed by its field definitions, indented, each
// with its kind. Texts from the database are shown escaped (see TerminalText), so a name cannot
// break the table or drive the terminal.
//
// Given a width, lines fit it: long names are cut with "…" (a terminal); without one nothing
// is ever cut (a pipe or a file, where the whole name matters).

#include <cstdint>
#include <string>
#include <vector>

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

    // The table, each line ending in "\n". width 0: no limit.
    static std::string render(const std::vector<Template>& templates, size_t width);

    // What a field's type code means, as the listing names it ("pop-up"); unknown codes are
    // shown as numbers.
    static std::string kindName(int64_t typeCode);
};
