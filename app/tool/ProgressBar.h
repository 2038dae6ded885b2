#pragma once

// ProgressBar: the line ftp-put redraws on a terminal while it uploads,
//
//   [##########..........]  50%  12.5 MiB of 25.0 MiB  1.2 MiB/s
//
// fitted to the terminal's width (the bar takes what the texts leave; on a narrow terminal the
// rate, then the amounts go first). The rate is measured over the last few seconds of samples,
// not since the start, so it follows a connection that speeds up or stalls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class ProgressBar {
public:
    // How far back the rate looks.
    static constexpr double kRateWindowSeconds = 5.0;

    // Records that `bytes` were sent after `seconds`; times only grow.
    void addSample(double seconds, uint64_t bytes);
    // Bytes per second over the recent window; none before two samples apart in time.
    std::optional<double> bytesPerSecond() const;

    // The line for `done` of `total` bytes (unknown total: no bar and no percentage; a total of
    // zero is complete) at most width - 1 columns wide, so the cursor never reaches the last
    // column and the terminal never wraps it.
    static std::string line(uint64_t done, std::optional<uint64_t> total,
                            std::optional<double> bytesPerSecond, size_t width);

    // "512 B", "1.5 KiB", "12.3 MiB", "2.0 GiB".
    static std::string humanBytes(double bytes);

private:
    struct Sample {
        double seconds = 0;
        uint64_t bytes = 0;
    };
    // A ring: at one sample per redraw it holds the window several times over; when samples come
    // faster, the oldest go and the window shortens.
    std::array<Sample, 64> m_samples{};
    size_t m_first = 0;
    size_t m_count = 0;

    const Sample& at(size_t i) const { return m_samples[(m_first + i) % m_samples.size()]; }
};
