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
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/app/HostApplication.h"
#include "host/database/CustomRecordDefinition.h"
#include "host/database/CustomRecordSetDefinition.h"
#include "host/database/DLPObjectContext.h"
#include "host/database/Database.h"
#include "host/database/GWUser.h"
#include "platform/runtime/RunLoop.h"
#include "platform/ui/Application.h"
#include "platform/ui/TerminalFrontEnd.h"
#include "platform/ui/gtk/GtkFrontEnd.h"
#include "platform/ui/gtk/GtkScriptPlayer.h"

namespace {

constexpr int kFields = 10;

void check(const platform::Status& status) {
    if (!status) throw std::runtime_error(status.message());
}

// A database with one user and a template of kFields field definitions, and the host on it with
// the real plug-in bundle, signed in.
struct Host {
    std::filesystem::path dir;
    std::shared_ptr<host::HostApplication> app;

    Host() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zandrel-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
        dir = pattern;
        auto file = dir / "bench.zandrel";
        {
            auto database = host::Database::open(file);
            if (!database) throw std::runtime_error(database.status().message());
            auto setup = DLPObjectContext::withoutUser(*database);
            auto user = setup->createObject<GWUser>(true);
            (*user)->setLoginName("bench");
            (*user)->setName("Bench Mark");
            (*user)->setActive(true);
            auto form = setup->createObject<CustomRecordSetDefinition>();
            (*form)->setName("Source");
            (*form)->setActive(true);
            for (int i = 0; i < kFields; ++i) {
                auto field = setup->createObject<CustomRecordDefinition>();
                (*field)->setActive(true);
                (*field)->setName(fmt::format("Field {}", i));
                (*field)->setDetails(fmt::format("Field number {}", i));
                (*field)->setTypeCode(i % 5);
                check((*form)->addToCustomRecordDefinitions(*field));
            }
            check(setup->saveChanges());
        }
        app = host::HostApplication::create(
            {file, std::filesystem::path(ZANDREL_PLUGIN_BUNDLE).parent_path(), ZANDREL_HOST_BUNDLE});
        check(app->openDatabase());
        check(app->loadPluginBundle(ZANDREL_PLUGIN_BUNDLE));
        app->showLoginWindow();
        check(app->signIn("bench"));
    }
    ~Host() {
        app.reset();
        platform::Application::shared().resetForTesting();
        platform::RunLoop::main().resetForTesting();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

std::vector<std::string> script(int64_t copy) {
    return {"menu Plug-ins > Zandrel > Duplicate Form Template...", "select template Source",
            fmt::format("type name \"Copy {}\"", copy), "press duplicate", "answer Thanks!"};
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
        check(host.app->saveChanges());

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
        check(host.app->saveChanges());

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
