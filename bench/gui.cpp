// The desktop front end's cost on the duplicate flow: Plug-ins > Zandrel > the command, the
// template chosen in the pop-up, the name typed, Duplicate pressed, the success alert answered,
// the host's save -- once through the GTK widgets (the script player acting on them) and once
// through the terminal front end reading the same commands. The difference is what the desktop
// adds to a duplicate of 10 field definitions (target: under 50 ms).
//
// Run under a display: xvfb-run -a build-dir/bin/bench_gui

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/support/BenchHost.h"
#include "bench/support/ScratchFolder.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "platform/ui/gtk/GtkScriptPlayer.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"

namespace {

using bench::BenchHost;

constexpr int kFields = 10;

// The benchmarks' host on a file of its own with a template of kFields field definitions,
// signed in.
struct Host {
    bench::ScratchFolder scratch;
    BenchHost bench{scratch.databaseFile().string(), kFields};
    host::HostApplication& app = bench.app();

    Host() {
        app.showLoginWindow();
        BenchHost::check(app.signIn("bench"));
    }
};

std::vector<std::string> script(int64_t copy) {
    return BenchHost::duplicateScript(fmt::format("Copy {}", copy));
}

void BM_DuplicateThroughTerminal(benchmark::State& state) {
    Host host;
    int devNull = ::open("/dev/null", O_WRONLY);
    int64_t copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        int fds[2];
        if (::pipe(fds) != 0) throw std::runtime_error("cannot make a pipe");
        std::string input;
        for (const auto& line : script(++copies)) input += line + "\n";
        if (::write(fds[1], input.data(), input.size()) != static_cast<ssize_t>(input.size()))
            throw std::runtime_error("cannot write the commands");
        ::close(fds[1]);
        platform::TerminalFrontEnd::Options options;
        options.inputFd = fds[0];
        options.outputFd = devNull;
        options.errorFd = devNull;
        options.interactive = false;
        platform::TerminalFrontEnd terminal(options);
        state.ResumeTiming();

        terminal.start();
        platform::RunLoop::main().runUntil(platform::RunLoopMode::Default,
                                           [&] { return !terminal.isRunning(); });
        BenchHost::check(host.app.saveChanges());

        state.PauseTiming();
        if (terminal.failedLine()) state.SkipWithError("the terminal script failed");
        terminal.stop();
        platform::Application::shared().setFrontEnd(nullptr);
        ::close(fds[0]);
        state.ResumeTiming();
    }
    ::close(devNull);
}

void BM_DuplicateThroughGtk(benchmark::State& state) {
    if (!platform::GtkFrontEnd::displayAvailable()) {
        state.SkipWithError("no display: run under xvfb-run -a");
        return;
    }
    Host host;
    platform::GtkFrontEnd desktop;
    desktop.start();
    int devNull = ::open("/dev/null", O_WRONLY);
    int64_t copies = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform::GtkScriptPlayer::Options options;
        options.outputFd = devNull;
        platform::GtkScriptPlayer player(desktop, script(++copies), options);
        state.ResumeTiming();

        player.start();
        platform::RunLoop::main().runUntil(platform::RunLoopMode::Default,
                                           [&] { return player.isFinished(); });
        BenchHost::check(host.app.saveChanges());

        state.PauseTiming();
        if (player.failedLine()) state.SkipWithError("the desktop script failed");
        player.stop();
        state.ResumeTiming();
    }
    desktop.stop();
    ::close(devNull);
}

}  // namespace

BENCHMARK(BM_DuplicateThroughTerminal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DuplicateThroughGtk)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
