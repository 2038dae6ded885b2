#pragma once

// Support for the tests that drive zandrel-host --gui --script: the host run with its own
// configuration and data folders, what `show` reported about each control (its state line and
// its place in the window), and screenshots read back as pixels to find the controls in them.

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace guitest {

namespace fs = std::filesystem;

// A control as one `show` listed it: "  8 download: button "Download" default disabled at 410,280 100x34".
struct ShownControl {
    std::string line;  // after "N identifier: ", without the place
    int x = 0, y = 0, width = 0, height = 0;
    std::vector<std::string> rows;  // a table's rows as listed under it: "*3. visitCounter | ..."
};
// One `show`: the window's title line and its controls by identifier ("#N" for those without).
struct ShownWindow {
    std::string title;  // e.g. `window "Update Available" modal`
    std::map<std::string, ShownControl> controls;
};

// Every `show` in the player's output, in order.
inline std::vector<ShownWindow> parseShows(const std::string& out) {
    std::vector<ShownWindow> shows;
    std::istringstream in(out);
    std::string line;
    ShownControl* last = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("window \"", 0) == 0) {
            shows.push_back({line, {}});
            last = nullptr;
            continue;
        }
        if (line.rfind("> ", 0) == 0 || shows.empty()) continue;
        if (line.rfind("    ", 0) == 0) {
            if (last) last->rows.push_back(line.substr(4));
            continue;
        }
        std::istringstream words(line);
        std::string number, identifier;
        if (!(words >> number >> identifier) || identifier.empty() || identifier.back() != ':') continue;
        identifier.pop_back();
        if (identifier == "-") identifier = "#" + number;
        size_t start = line.find(": ") + 2;
        size_t at = line.rfind(" at ");
        ShownControl control;
        control.line = line.substr(start, at == std::string::npos ? std::string::npos : at - start);
        if (at != std::string::npos)
            std::sscanf(line.c_str() + at, " at %d,%d %dx%d", &control.x, &control.y, &control.width,
                        &control.height);
        last = &(shows.back().controls[identifier] = control);
    }
    return shows;
}

// A PNG read back as 32-bit pixels.
class Screenshot {
public:
    explicit Screenshot(const fs::path& file) {
        GError* error = nullptr;
        GdkTexture* texture = gdk_texture_new_from_filename(file.c_str(), &error);
        if (!texture) {
            message = error ? error->message : "unreadable";
            if (error) g_error_free(error);
            return;
        }
        width = gdk_texture_get_width(texture);
        height = gdk_texture_get_height(texture);
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        gdk_texture_download(texture, reinterpret_cast<guchar*>(pixels.data()),
                             static_cast<size_t>(width) * 4);
        g_object_unref(texture);
    }
    bool loaded() const { return !pixels.empty(); }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // The pixels of a control's place, clipped to the picture.
    std::vector<uint32_t> region(const ShownControl& c) const {
        std::vector<uint32_t> out;
        for (int y = std::max(0, c.y); y < std::min(height, c.y + c.height); ++y)
            for (int x = std::max(0, c.x); x < std::min(width, c.x + c.width); ++x) out.push_back(at(x, y));
        return out;
    }
    // The window's background: the colour of most pixels along the picture's edges.
    uint32_t background() const {
        std::map<uint32_t, int> counts;
        for (int x = 0; x < width; ++x) ++counts[at(x, height - 1)];
        for (int y = 0; y < height; ++y) ++counts[at(width - 1, y)];
        uint32_t best = 0;
        int most = -1;
        for (auto [colour, n] : counts)
            if (n > most) best = colour, most = n;
        return best;
    }
    // How many pixels of the control's place are not the background, and in how many colours.
    std::pair<size_t, size_t> ink(const ShownControl& c) const {
        uint32_t bg = background();
        size_t drawn = 0;
        std::set<uint32_t> colours;
        for (uint32_t p : region(c)) {
            if (p != bg) ++drawn;
            colours.insert(p);
        }
        return {drawn, colours.size()};
    }

    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
    std::string message;
};

class GuiScriptTest : public ::testing::Test {
protected:
    // zandrel-host with this test's own preferences (the user defaults) and data folders.
    testsupport::ProcessResult host(const std::vector<std::string>& arguments,
                                    const std::string& input = "") {
        std::vector<std::string> argv{"/usr/bin/env", "XDG_CONFIG_HOME=" + (dir / "config").string(),
                                      "XDG_DATA_HOME=" + (dir / "data").string(), "LANGUAGE=en",
                                      testsupport::builtProgram("zandrel-host")};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return testsupport::runProgram(argv, input);
    }
    fs::path newDatabase(const std::string& name) {
        fs::path db = dir / name;
        auto r = host({"--db", db.string(), "--init-demo"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return db;
    }
    // `arguments` (the database, addresses) then --gui --script with `script`.
    testsupport::ProcessResult runGui(std::vector<std::string> arguments, const std::string& script) {
        fs::path file = dir / ("script" + std::to_string(++m_scripts) + ".txt");
        dir.write(file.filename().string(), script);
        arguments.insert(arguments.end(), {"--gui", "--script", file.string()});
        return host(arguments);
    }
    static void expectNoGtkComplaints(const std::string& err) {
        for (const char* bad : {"Gtk-WARNING", "CRITICAL", "Gdk-WARNING", "GLib-WARNING", "Gtk-CRITICAL"})
            EXPECT_EQ(err.find(bad), std::string::npos) << bad << " in:\n" << err;
    }
    // Every table of the database as SQL text: equal texts, equal databases.
    static std::string dump(const fs::path& db) {
        auto r = testsupport::runProgram({"/usr/bin/sqlite3", db.string(), ".dump"});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return r.out;
    }
    testsupport::TempDir dir;

private:
    int m_scripts = 0;
};

}  // namespace guitest
