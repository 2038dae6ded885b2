// Internal entities are expanded as expat expands them, whichever reader is asked; external
// ones stay unresolved; expansion beyond expat's amplification bound is refused quickly, in a
// process whose address space is capped well below what the expansion would need.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "plugin/framework/Classes/VEXAXMLDictionary.h"
#include "plugin/framework/Classes/VEXAXMLReaders.h"

namespace {

using Reader = KOPAXMLReaders::Reader;
using Verdict = KOPAXMLReaders::Verdict;

struct EntityCase {
    const char* name;
    std::string document;
    std::string json;  // the tree, as the default parser's JSON
};

std::string billionLaughs() {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE lolz [<!ENTITY lol \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        laughs += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) laughs += i == 1 ? "&lol;" : "&lol" + std::to_string(i - 1) + ";";
        laughs += "\">";
    }
    return laughs + "]><lolz>&lol9;</lolz>";
}

std::string quadraticBlowUp() {
    std::string quadratic = "<!DOCTYPE q [<!ENTITY big \"" + std::string(100000, 'x') + "\">]><q>";
    for (int i = 0; i < 100000; ++i) quadratic += "&big;";
    return quadratic + "</q>";
}

TEST(XMLEntitiesTest, InternalEntitiesReadAlikeWhicheverReaderIsAsked) {
    const EntityCase cases[] = {
        {"text", R"(<!DOCTYPE r [<!ENTITY e "entity text">]><r>&e;</r>)",
         R"({"__name":"r","__text":"entity text"})"},
        {"attribute", R"(<!DOCTYPE r [<!ENTITY v "1.0">]><r version="&v;"/>)",
         R"({"__name":"r","_version":"1.0"})"},
        {"nested", R"(<!DOCTYPE r [<!ENTITY a "x&b;"><!ENTITY b "y">]><r>&a;&a;</r>)",
         R"({"__name":"r","__text":"xyxy"})"},
        {"markup", R"(<!DOCTYPE r [<!ENTITY m "<c>1</c><c>2</c>">]><r>&m;</r>)",
         R"({"__name":"r","c":["1","2"]})"},
        {"D-Bus style",
         "<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\" [\n"
         "  <!ENTITY ERROR_NOT_FOUND \"org.freedesktop.Example.Error.NotFound\">\n"
         "]>\n"
         "<node><interface name=\"org.freedesktop.Example\"><method name=\"Get\">"
         "<annotation name=\"error\" value=\"&ERROR_NOT_FOUND;\"/></method></interface></node>",
         R"({"__name":"node","interface":{"_name":"org.freedesktop.Example","method":{"_name":"Get",)"
         R"("annotation":{"_name":"error","_value":"org.freedesktop.Example.Error.NotFound"}}}})"},
        {"external stays unresolved", R"(<!DOCTYPE a [<!ENTITY x SYSTEM "file:///etc/passwd">]><a>t&x;</a>)",
         R"({"__name":"a","__text":"t"})"},
    };
    KOPAXMLDictionaryParser parser;
    const KOPAXMLReadOptions options = KOPAXMLReaders::optionsOf(parser);
    for (const EntityCase& c : cases) {
        const auto expat = KOPAXMLReaders::read(Reader::Expat, options, c.document);
        const auto automatic = KOPAXMLReaders::read(Reader::Automatic, options, c.document);
        ASSERT_EQ(expat.verdict, Verdict::Accepted) << c.name << ": " << expat.error.description();
        ASSERT_EQ(automatic.verdict, Verdict::Accepted) << c.name << ": " << automatic.error.description();
        EXPECT_EQ(expat.root->toJson(), c.json) << c.name;
        EXPECT_EQ(automatic.root->toJson(), c.json) << c.name;
        // The fast reader leaves every DOCTYPE document to expat.
        EXPECT_EQ(KOPAXMLReaders::read(Reader::Libxml2, options, c.document).verdict, Verdict::Declined)
            << c.name;
    }
}

TEST(XMLEntitiesTest, InstalledDBusInterfaceDescriptionsRead) {
    const char* const files[] = {"/usr/share/dbus-1/interfaces/org.freedesktop.PackageKit.xml",
                                 "/usr/share/dbus-1/interfaces/org.freedesktop.PackageKit.Transaction.xml"};
    int read = 0;
    for (const char* path : files) {
        std::ifstream in(path, std::ios::binary);
        if (!in) continue;
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (bytes.find("<!ENTITY") == std::string::npos) continue;
        KOPAXMLParseError error;
        const auto root = KOPAXMLDictionaryParser().dictionaryWithString(bytes, &error);
        EXPECT_TRUE(root.has_value()) << path;
        EXPECT_TRUE(error.message.empty()) << path << ": " << error.description();
        ++read;
    }
    if (read == 0) GTEST_SKIP() << "no D-Bus interface description with entities is installed";
}

// In a child whose address space may grow by only 64 MiB: each document must be refused,
// naming the amplification, within that. A crash or exhaustion fails the child.
TEST(XMLEntitiesTest, ExpansionBeyondTheAmplificationBoundIsRefusedInLittleMemory) {
    const std::string documents[] = {billionLaughs(), quadraticBlowUp()};
    for (const std::string& document : documents) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            long pages = 0;
            std::ifstream("/proc/self/statm") >> pages;
            const rlim_t cap =
                static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (64u << 20);
            const rlimit limit{cap, cap};
            setrlimit(RLIMIT_AS, &limit);
            KOPAXMLParseError error;
            KOPAXMLDictionaryParser().dictionaryWithString(document, &error);  // a partial tree at most
            const bool refused = error.message.find("amplification") != std::string::npos;
            _exit(refused ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "document of " << document.size() << " bytes: status " << status;
    }
    // In this process too, for the message.
    KOPAXMLParseError error;
    KOPAXMLDictionaryParser().dictionaryWithString(billionLaughs(), &error);
    EXPECT_NE(error.message.find("amplification"), std::string::npos) << error.message;
}

}  // namespace
