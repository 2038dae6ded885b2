#pragma once

// Clock: where the run loop reads the time for its timers. The app uses the real monotonic
// clock; tests install a VirtualClock and move it forward by hand, so a 12-hour timer fires
// without anyone waiting 12 hours.

#include <chrono>

namespace platform {

using Duration = std::chrono::nanoseconds;
using TimePoint = std::chrono::steady_clock::time_point;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
    // True when time only moves when told to; the run loop then jumps to the next timer
    // instead of waiting for it.
    virtual bool isVirtual() const = 0;
};

class RealClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    bool isVirtual() const override { return false; }
};

class VirtualClock final : public Clock {
public:
    TimePoint now() const override { return m_now; }
    bool isVirtual() const override { return true; }
    void advance(Duration d) { m_now += d; }
    void setNow(TimePoint t) { m_now = t; }

private:
    TimePoint m_now{std::chrono::hours(24)};
};

}  // namespace platform
