#include "platform/foundation/AttributedString.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

AttributedString::AttributedString(std::string text, const TextAttributes& attributes) {
    append(text, attributes);
}

void AttributedString::append(std::string_view text, const TextAttributes& attributes) {
    if (text.empty()) return;
    if (!m_runs.empty() && m_runs.back().attributes == attributes) {
        m_runs.back().length += text.size();
    } else {
        m_runs.push_back({m_text.size(), text.size(), attributes});
    }
    m_text.append(text);
}

const TextAttributes& AttributedString::attributesAtIndex(size_t index) const {
    if (index >= m_text.size()) throw std::out_of_range("attributed string index past its end");
    auto it = std::upper_bound(m_runs.begin(), m_runs.end(), index,
                               [](size_t i, const TextRun& run) { return i < run.location; });
    return std::prev(it)->attributes;
}

}  // namespace platform
