#pragma once

// BenchHost: the host the benchmarks drive, set up the same way for each of them: a database (a
// SQLite file or a PostgreSQL URI) holding the user "bench" and the template "Source" of N field
// definitions, and the host on it with the real plug-in bundle loaded, nobody signed in yet.
// Failures of the set-up throw: a benchmark cannot go on without it.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/app/HostApplication.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "platform/foundation/Status.h"
#include "platform/ui/MenuItem.h"
#include "platform/ui/ScriptedFrontEnd.h"

namespace bench {

class BenchHost {
public:
    // Writes the user and the template into the (empty) database at the address, then starts
    // the host on it.
    BenchHost(const std::string& address, int64_t fields);
    ~BenchHost();
    BenchHost(const BenchHost&) = delete;
    BenchHost& operator=(const BenchHost&) = delete;

    host::HostApplication& app() const { return *m_app; }

    // Plug-ins > Zandrel > Duplicate..., as the menu holds it.
    std::shared_ptr<platform::MenuItem> duplicateCommand() const;
    // The duplicate command as a person runs it through the driver: the command, the template
    // "Source" in the pop-up, the name typed, Duplicate pressed, the success alert answered,
    // then the host's save. False when the dialog did not report success.
    bool duplicateThroughDialog(platform::ScriptedFrontEnd& driver, const std::string& name) const;
    // The same copy as a terminal or desktop script's lines.
    static std::vector<std::string> duplicateScript(const std::string& name);

    // Field definition number i as a realistic template holds them: a name, details, a type,
    // and on every third one a pop-up's options and default value.
    static void fill(CustomRecordDefinition& field, int64_t i);
    static void check(const platform::Status& status);

private:
    std::shared_ptr<host::HostApplication> m_app;
    std::shared_ptr<platform::MenuItem> m_duplicate;
};

}  // namespace bench
