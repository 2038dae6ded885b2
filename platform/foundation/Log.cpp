#include "platform/foundation/Log.h"

#include <fmt/chrono.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace platform {

namespace {
Log::Sink& sink() {
    static Log::Sink s;
    return s;
}

std::string processName() {
    std::ifstream comm("/proc/self/comm");
    std::string name;
    std::getline(comm, name);
    return name.empty() ? "process" : name;
}
}  // namespace

void Log::write(std::string_view text) {
    if (sink()) {
        sink()(text);
        return;
    }
    static const std::string name = processName();
    auto now = std::chrono::system_clock::now();
    auto line = fmt::format("{:%Y-%m-%d %H:%M:%S} {}[{}] {}\n",
                            fmt::localtime(std::chrono::system_clock::to_time_t(now)), name, getpid(), text);
    std::fwrite(line.data(), 1, line.size(), stderr);
}

Log::Sink Log::setSink(Sink s) {
    Sink previous = std::move(sink());
    sink() = std::move(s);
    return previous;
}

}  // namespace platform
