// A plug-in that cannot start (here Showcase with a broken feature configuration file) is left
// out with a message naming it and the file; the host signs in and the other plug-ins work.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/HostLauncher.h"

namespace {

namespace fs = std::filesystem;
using testsupport::builtProgram;
using testsupport::ProcessResult;

fs::path builtPlugIns() {
    return fs::path(builtProgram("zandrel-host")).parent_path().parent_path() / "PlugIns";
}

TEST(BrokenPluginTest, ABrokenFeatureFileDisablesThatPluginOnly) {
    const char* const configurations[] = {"", "{\"a\": {}", "[1, 2]", "{\"grant\": 5}",
                                          "{\"grant\": {\"description\": 7}}"};
    int n = 0;
    for (const char* configuration : configurations) {
        SCOPED_TRACE(configuration);
        testsupport::TempDir dir;
        const fs::path db = dir / "demo.sqlite";
        const testsupport::HostLauncher host(dir.path(), {"--db", db.string()});
        ASSERT_EQ(host.run({"--init-demo"}).exitCode, 0);
        const fs::path plugins = dir / ("plugins" + std::to_string(++n));
        fs::create_directories(plugins);
        fs::create_directory_symlink(builtPlugIns() / "Zandrel.plugin", plugins / "Zandrel.plugin");
        fs::copy(builtPlugIns() / "Showcase.plugin", plugins / "Showcase.plugin",
                 fs::copy_options::recursive);
        const fs::path features = plugins / "Showcase.plugin" / "Resources" / "ShowcaseFeatures.json";
        std::ofstream(features, std::ios::trunc) << configuration;

        ProcessResult r = host.run({"--plugins", plugins.string(), "--update-url", ""}, "menu\n");
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const std::string said = r.out + r.err;
        EXPECT_NE(said.find("Showcase.plugin is disabled"), std::string::npos) << said;
        EXPECT_NE(said.find(features.string() + " is broken"), std::string::npos) << said;
        // Signed in, with Zandrel's menu and without Showcase's.
        EXPECT_NE(r.out.find("demo.sqlite - ada"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("Duplicate Form Template"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.find("Feature Permissions"), std::string::npos) << r.out;
    }
}

}  // namespace
