#include "app/tool/ProgressBar.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

namespace {

// Narrower than this, a bar says too little to be worth its room.
constexpr size_t kNarrowestBar = 10;

}  // namespace

void ProgressBar::addSample(double seconds, uint64_t bytes) {
    if (m_count == m_samples.size()) {
        m_first = (m_first + 1) % m_samples.size();
        --m_count;
    }
    m_samples[(m_first + m_count) % m_samples.size()] = Sample{seconds, bytes};
    ++m_count;
    // Keep one sample at or before the window's start as the base the rate is measured from.
    while (m_count > 2 && at(1).seconds <= seconds - kRateWindowSeconds) {
        m_first = (m_first + 1) % m_samples.size();
        --m_count;
    }
}

std::optional<double> ProgressBar::bytesPerSecond() const {
    if (m_count < 2) return std::nullopt;
    const Sample& oldest = at(0);
    const Sample& newest = at(m_count - 1);
    const double elapsed = newest.seconds - oldest.seconds;
    if (elapsed <= 0) return std::nullopt;
    const uint64_t sent = newest.bytes > oldest.bytes ? newest.bytes - oldest.bytes : 0;
    return static_cast<double>(sent) / elapsed;
}

std::string ProgressBar::humanBytes(double bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    if (!(bytes >= 1024)) return fmt::format("{:.0f} B", std::max(bytes, 0.0));
    size_t unit = 0;
    bytes /= 1024;
    while (bytes >= 1024 && unit + 1 < std::size(kUnits)) {
        bytes /= 1024;
        ++unit;
    }
    return fmt::format("{:.1f} {}", bytes, kUnits[unit]);
}

std::string ProgressBar::line(uint64_t done, std::optional<uint64_t> total,
                              std::optional<double> bytesPerSecond, size_t width) {
    const size_t room = width > 1 ? width - 1 : 1;
    const std::string rate = bytesPerSecond ? humanBytes(*bytesPerSecond) + "/s" : std::string();
    const std::string sent = humanBytes(static_cast<double>(done));

    // The richest layout that fits, texts first; all are ASCII, so bytes are columns.
    std::vector<std::string> texts;
    auto join = [](std::initializer_list<std::string> parts) {
        std::string out;
        for (const auto& part : parts) {
            if (part.empty()) continue;
            out += (out.empty() ? "" : "  ") + part;
        }
        return out;
    };
    if (!total) {
        texts = {join({sent + " sent", rate}), sent + " sent", sent};
        for (const auto& text : texts)
            if (text.size() <= room) return text;
        return texts.back().substr(0, room);
    }

    const uint64_t whole = *total;
    const uint64_t shown = std::min(done, whole);
    // Whole percents, rounded down: 100% only once everything is sent.
    const uint64_t percent =
        whole == 0 ? 100
                   : static_cast<uint64_t>(static_cast<double>(shown) * 100.0 / static_cast<double>(whole));
    const std::string percentText = fmt::format("{:>3}%", std::min<uint64_t>(percent, 100));
    const std::string amounts = sent + " of " + humanBytes(static_cast<double>(whole));
    texts = {join({percentText, amounts, rate}), join({percentText, amounts}), join({percentText, sent}),
             percentText};
    for (const auto& text : texts) {
        // "[" bar "] " text
        if (text.size() + 3 + kNarrowestBar > room) continue;
        const size_t barWidth = room - text.size() - 3;
        const double fraction = whole == 0 ? 1.0 : static_cast<double>(shown) / static_cast<double>(whole);
        const auto filled = std::min(barWidth, static_cast<size_t>(fraction * static_cast<double>(barWidth)));
        return "[" + std::string(filled, '#') + std::string(barWidth - filled, '.') + "] " + text;
    }
    for (const auto& text : texts)
        if (text.size() <= room) return text;
    return percentText.substr(0, room);
}
