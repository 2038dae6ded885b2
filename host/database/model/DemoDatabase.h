#pragma once

// DemoDatabase: a small, realistic host database to try the host and the plug-in with.
//
// Contents: three contacts with users "ada" (Ada Lovelace), "grace" (Grace Hopper) and "alan"
// (Alan Turing, inactive); form templates "Customer Profile", "Project Intake" and
// "Event Registration" with field definitions of every kind (text, number, date, pop-up with
// options, check box, multi-line text), the inactive "Legacy Survey 2019", and "Quick Notes"
// without fields; three categories ("VIP" for contacts, "Supplier" for organisations,
// "Internal" for projects); a connector map linking Ada's contact to the foreign application
// "Mailer" with JSON in foreignDatabase; and a value of "DemoWelcomeText" in the global scope
// (what every user reads once the setting is registered as global).

#include <filesystem>

#include "platform/foundation/Status.h"

namespace host {

class DemoDatabase {
public:
    // Creates the file (or fills an empty one). A file that already holds records, or is not a
    // host database, is refused and left as it was.
    static platform::Status create(const std::filesystem::path& file);
};

}  // namespace host
