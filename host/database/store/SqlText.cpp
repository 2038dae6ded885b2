#include "host/database/store/SqlText.h"

namespace host {

std::string SqlText::quotedIdentifier(std::string_view name) {
    std::string out;
    appendQuotedIdentifier(out, name);
    return out;
}

void SqlText::appendQuotedIdentifier(std::string& out, std::string_view name) {
    out.reserve(out.size() + name.size() + 2);
    out += '"';
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace host
