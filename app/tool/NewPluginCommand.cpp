// new-plugin: starts a plug-in of one's own, built against the installed developer's kit.
//
//   zandrel-tool new-plugin NAME [--dir DIR] [--bundle-id ID]
//
// Writes DIR/NAME/ from the templates in share/zandrel-tool/templates/plugin (found beside the
// program, as the host finds its bundle): @NAME@, @BUNDLE_ID@ and @PREFIX@ in file names and
// contents become the plug-in's name, its bundle identifier and the kit's prefix, and a file
// name's ".in" ending is dropped. The folder is written under a temporary name and moved into
// place only when complete, and never over anything that is there.

#include <fcntl.h>
#include <fmt/format.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <system_error>

#include "app/tool/ToolCommand.h"
#include "app/tool/ToolIO.h"
#include "platform/foundation/DisplayText.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kCommand = "new-plugin";
constexpr int kNotWritten = 1;
constexpr int kBadArguments = 64;  // the tool's usage-error status

fs::path programPrefix() {
    std::error_code ec;
    auto self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path().parent_path();
}

std::string replaceAll(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct Substitution {
    std::string name, bundleId, prefix;
    std::string operator()(const std::string& text) const {
        return replaceAll(replaceAll(replaceAll(text, "@NAME@", name), "@BUNDLE_ID@", bundleId), "@PREFIX@",
                          prefix);
    }
};

// Copies the template tree into `target` (which must not exist yet), substituting as it goes.
void writeFromTemplates(const fs::path& templates, const fs::path& target, const Substitution& substitute) {
    fs::create_directory(target);
    for (const auto& entry : fs::recursive_directory_iterator(templates)) {
        // Sources are kept as NAME.cpp.in, so that nothing takes the templates for code to format.
        std::string name = substitute(fs::relative(entry.path(), templates).string());
        if (name.ends_with(".in")) name.resize(name.size() - 3);
        const fs::path relative = name;
        if (entry.is_directory()) {
            fs::create_directories(target / relative);
            continue;
        }
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) throw std::runtime_error("cannot read the template " + entry.path().string());
        std::ofstream out(target / relative, std::ios::binary);
        out << substitute(text.str());
        out.close();
        if (!out) throw std::runtime_error("cannot write " + (target / relative).string());
    }
}

// The name ends up in file names (NAMEGreetingController.window.json, libNAME.so), which the
// file system allows 255 bytes.
constexpr size_t kMaxNameLength = 100;
constexpr size_t kMaxIdentifierLength = 255;

bool isAsciiLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool isAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}

// The name becomes a C++ class: a keyword cannot be one.
bool isKeyword(const std::string& word) {
    static const std::set<std::string> keywords{
        "alignas",     "alignof",   "and",        "and_eq",    "asm",      "auto",         "bitand",
        "bitor",       "bool",      "break",      "case",      "catch",    "char",         "char8_t",
        "char16_t",    "char32_t",  "class",      "compl",     "concept",  "const",        "consteval",
        "constexpr",   "constinit", "const_cast", "continue",  "co_await", "co_return",    "co_yield",
        "decltype",    "default",   "delete",     "do",        "double",   "dynamic_cast", "else",
        "enum",        "explicit",  "export",     "extern",    "false",    "float",        "for",
        "friend",      "goto",      "if",         "inline",    "int",      "long",         "mutable",
        "namespace",   "new",       "noexcept",   "not",       "not_eq",   "nullptr",      "operator",
        "or",          "or_eq",     "private",    "protected", "public",   "register",     "reinterpret_cast",
        "requires",    "return",    "short",      "signed",    "sizeof",   "static",       "static_assert",
        "static_cast", "struct",    "switch",     "template",  "this",     "thread_local", "throw",
        "true",        "try",       "typedef",    "typeid",    "typename", "union",        "unsigned",
        "using",       "virtual",   "void",       "volatile",  "wchar_t",  "while",        "xor",
        "xor_eq"};
    return keywords.count(word) > 0;
}

// Letters, digits and underscores, not starting with a digit, no keyword. Checked by hand: a
// regular expression recurses once per character and overflows the stack on a long name.
bool isClassName(const std::string& name) {
    if (name.empty() || name.size() > kMaxNameLength || isAsciiDigit(name[0])) return false;
    for (char c : name)
        if (!isAsciiLetter(c) && !isAsciiDigit(c) && c != '_') return false;
    return !isKeyword(name);
}

// Parts of letters, digits and hyphens joined by single dots.
bool isBundleIdentifier(const std::string& id) {
    if (id.empty() || id.size() > kMaxIdentifierLength || id.front() == '.' || id.back() == '.') return false;
    for (size_t i = 0; i < id.size(); ++i) {
        const char c = id[i];
        if (c == '.' ? id[i + 1] == '.' : !(isAsciiLetter(c) || isAsciiDigit(c) || c == '-')) return false;
    }
    return true;
}

ToolCommand::Registrar newPlugin{
    kCommand, "Write a new plug-in's project (sources, resources, tests) to build against the kit",
    [](CLI::App& command) -> ToolCommand::Run {
        auto name = std::make_shared<std::string>();
        auto dir = std::make_shared<std::string>(".");
        auto bundleId = std::make_shared<std::string>();
        command.add_option("NAME", *name, "The plug-in's name, also its principal class's name")->required();
        command.add_option("--dir", *dir, "Where the plug-in's folder NAME/ is made (default: here)");
        command.add_option("--bundle-id", *bundleId,
                           "Its bundle identifier (default: com.example.daylite.plugin.NAME)");
        command.footer(
            "NAME is a class name: letters, digits and underscores, not starting with a digit, and no C++\n"
            "keyword.\n"
            "Writes DIR/NAME/ with CMakeLists.txt, Info.json, string tables (en, de), the principal class\n"
            "(Plug-ins > NAME > Say Hello), a dialog, its tests and a README with the commands to build,\n"
            "test and run it. An existing DIR/NAME is never written to.\n\n" +
            ToolCommand::exitStatuses(
                {{0, "written"}, {1, "DIR/NAME exists already, or the folder could not be written"}}) +
            " (here also: a NAME or bundle identifier that is not valid)");
        return [name, dir, bundleId]() -> int {
            if (!isClassName(*name))
                return ToolIO::fail(kCommand, "",
                                    fmt::format("'{}' is not a valid class name (letters, digits and "
                                                "underscores, not starting with a digit, no C++ keyword, "
                                                "at most {} characters)",
                                                platform::DisplayText::printable(*name, 60), kMaxNameLength),
                                    kBadArguments);
            const std::string id = bundleId->empty() ? "com.example.daylite.plugin." + *name : *bundleId;
            if (!isBundleIdentifier(id))
                return ToolIO::fail(
                    kCommand, "",
                    fmt::format("'{}' is not a valid bundle identifier (letters, digits and "
                                "hyphens, in parts joined by dots, at most {} characters)",
                                platform::DisplayText::printable(id, 60), kMaxIdentifierLength),
                    kBadArguments);

            const fs::path prefix = programPrefix();
            const fs::path templates = prefix / "share" / "zandrel-tool" / "templates" / "plugin";
            if (!fs::is_directory(templates))
                return ToolIO::fail(kCommand, "", "the templates are missing: " + templates.string(),
                                    kNotWritten);
            const fs::path target = fs::path(*dir) / *name;
            std::error_code ec;
            if (fs::symlink_status(target, ec).type() != fs::file_type::not_found)
                return ToolIO::fail(kCommand, "",
                                    fmt::format("{} already exists; nothing was written", target.string()),
                                    kNotWritten);
            // The kit's prefix for the README, when this program is an installed one.
            const bool installed = fs::exists(prefix / "lib" / "cmake" / "Kopa" / "KopaConfig.cmake");
            const Substitution substitute{*name, id, installed ? prefix.string() : std::string("P")};

            fs::create_directories(*dir, ec);
            const fs::path partial = fs::path(*dir) / fmt::format(".{}.new-plugin-{}", *name, ::getpid());
            try {
                writeFromTemplates(templates, partial, substitute);
            } catch (const std::exception& e) {
                fs::remove_all(partial, ec);
                return ToolIO::fail(kCommand, "", e.what(), kNotWritten);
            }
            if (::renameat2(AT_FDCWD, partial.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
                const int error = errno;
                fs::remove_all(partial, ec);
                return ToolIO::fail(
                    kCommand, "",
                    error == EEXIST
                        ? fmt::format("{} already exists; nothing was written", target.string())
                        : fmt::format("cannot make {}: {}", target.string(), std::strerror(error)),
                    kNotWritten);
            }
            const std::string shownPrefix = substitute.prefix;
            const std::string out = fmt::format(
                "Wrote {0}/\n"
                "  cmake -S {0} -B {0}/build -DCMAKE_PREFIX_PATH={1} && cmake --build {0}/build\n"
                "  ctest --test-dir {0}/build\n"
                "  {1}/bin/zandrel-host --plugins {0}/build/PlugIns\n",
                target.string(), shownPrefix);
            if (!ToolIO::writeOutput(out)) return kNotWritten;
            return 0;
        };
    }};

}  // namespace
