// User-defaults files: whatever a file holds, loading it never crashes; a file that does not
// read as a dictionary is moved aside and reported, and a file that loads writes back to one
// that loads to the same values.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "FuzzCheck.h"
#include "platform/foundation/UserDefaults.h"

namespace {

// One private folder per process, emptied before each input.
const std::filesystem::path& folder() {
    static const std::filesystem::path path = [] {
        auto p =
            std::filesystem::temp_directory_path() / ("zandrel-fuzz-defaults-" + std::to_string(getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder(), ec))
        std::filesystem::remove_all(entry, ec);
    auto file = folder() / "defaults.json";
    {
        std::ofstream out(file, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    platform::UserDefaults defaults(file);
    if (!defaults.loadStatus()) {
        FUZZ_CHECK(defaults.dictionaryRepresentation().empty(), "a corrupt file left values behind");
        return 0;
    }
    platform::Value before(defaults.dictionaryRepresentation());
    FUZZ_CHECK(bool(defaults.setObjectForKey(platform::Value("fuzz"), "\x01written")), "writing failed");
    platform::UserDefaults reread(file);
    FUZZ_CHECK(bool(reread.loadStatus()), reread.loadStatus().message());
    FUZZ_CHECK(bool(reread.removeObjectForKey("\x01written")), "removing failed");
    FUZZ_CHECK(platform::Value(reread.dictionaryRepresentation()) == before,
               "before " + fuzzcheck::shown(before) + "\nafter " +
                   fuzzcheck::shown(platform::Value(reread.dictionaryRepresentation())));
    return 0;
}
