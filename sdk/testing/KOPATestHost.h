#pragma once

// KOPATestHost: the host for a plug-in's own tests, in the test's process. It makes a demo
// database in a folder of the test's, creates the host application with the run loop on a
// virtual clock, loads the given plug-in bundles, signs a user in and installs a scripted front
// end, through which the test chooses menu commands, fills dialogs and answers alerts:
//
//   auto host = KOPATestHost::start({dir, {HELLO_BUNDLE}});
//   ASSERT_TRUE(host) << host.status().message();
//   (*host)->ui().answerAlert("OK");
//   (*host)->ui().chooseMenu("Plug-ins > Hello > Say Hello");
//   EXPECT_EQ((*host)->ui().lastAlert().message, "Hello from Hello.");
//
// Nothing reaches the network (the update check is off) and the preferences are kept in the
// folder. One host at a time per process: the host application and the plug-ins' shared state are
// process-wide.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/Status.h"
#include "platform/runtime/Clock.h"
#include "platform/ui/ScriptedFrontEnd.h"

class KOPATestHost {
public:
    struct Options {
        std::filesystem::path folder;                // database, preferences, the host's bundle
        std::vector<std::filesystem::path> bundles;  // *.plugin folders to load, in order
        std::string user = "ada";                    // who signs in ("" nobody)
    };

    static platform::Result<std::unique_ptr<KOPATestHost>> start(Options options);
    ~KOPATestHost();
    KOPATestHost(const KOPATestHost&) = delete;
    KOPATestHost& operator=(const KOPATestHost&) = delete;

    platform::ScriptedFrontEnd& ui() { return *m_ui; }
    // The titles of the Plug-ins menu's items, in order.
    std::vector<std::string> pluginsMenuTitles() const;
    // Runs what is queued on the main run loop; advances the virtual clock by `by` first.
    void runPending(platform::Duration by = platform::Duration::zero());

private:
    KOPATestHost() = default;
    struct State;
    std::unique_ptr<State> m_state;
    std::unique_ptr<platform::ScriptedFrontEnd> m_ui;
};
