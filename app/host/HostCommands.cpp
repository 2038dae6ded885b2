#include "app/host/HostCommands.h"

#include <fmt/format.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <optional>

#include "app/host/ConnectorMapListing.h"
#include "app/host/TemplateTable.h"
#include "app/host/TerminalText.h"
#include "host/app/DLDocument.h"
#include "host/app/HostApplication.h"
#include "host/app/UserDirectory.h"
#include "host/database/model/CustomRecordDefinition.h"
#include "host/database/model/CustomRecordSetDefinition.h"
#include "host/database/model/DLPObjectContext.h"
#include "host/database/model/DemoDatabase.h"
#include "host/database/model/EntityCatalog.h"
#include "host/database/model/GWConnectorMap.h"
#include "host/database/model/GWContact.h"
#include "host/database/model/GWUser.h"
#include "host/database/sqlite/Database.h"
#include "host/database/store/Store.h"
#include "host/database/store/StoreFactory.h"
#include "platform/foundation/DisplayText.h"
#include "platform/runtime/RunLoop.h"
#include "platform/runtime/SignalSource.h"
#include "platform/ui/Application.h"
#include "platform/ui/Button.h"
#include "platform/ui/LineEditor.h"
#include "platform/ui/PopUpButton.h"
#include "platform/ui/ScriptedFrontEnd.h"
#include "platform/ui/terminal/TerminalFrontEnd.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitRefused = 3;

int fail(int status, const std::string& message) {
    std::cerr << "zandrel-host: " << message << "\n";
    return status;
}

// Opens the database, loads the plug-ins and signs a user in (the given one or the first
// active one). Prints the reason and gives nullptr on failure; `exitStatus` says which.
std::shared_ptr<host::HostApplication> startHost(const HostSettings& settings, bool withPlugins,
                                                 int& exitStatus) {
    auto app = host::HostApplication::create({settings.database, settings.plugins, settings.hostBundle});
    if (auto status = app->openDatabase(); !status) {
        exitStatus = fail(kExitFailure, status.message());
        return nullptr;
    }
    if (withPlugins) {
        if (auto status = app->loadPlugins(); !status) {
            exitStatus = fail(kExitFailure, status.message());
            return nullptr;
        }
    }
    std::string user = settings.user;
    if (user.empty()) {
        auto names = app->signInNames();
        if (names.empty()) {
            exitStatus = fail(kExitBadInput,
                              fmt::format("{} has no active user to sign in; create one or use --init-demo",
                                          settings.database.string()));
            return nullptr;
        }
        user = names.front();
    }
    app->showLoginWindow();
    if (auto status = app->signIn(user); !status) {
        exitStatus = fail(kExitBadInput, fmt::format("cannot sign in \"{}\": {} (see `zandrel-host users`)",
                                                     user, status.message()));
        return nullptr;
    }
    return app;
}

}  // namespace

int runInitDemo(const HostSettings& settings) {
    std::error_code ec;
    if (!host::StoreFactory::isServerAddress(settings.database.string()))
        std::filesystem::create_directories(settings.database.parent_path(), ec);
    if (auto status = host::DemoDatabase::create(settings.database); !status)
        return fail(kExitFailure, status.message());
    std::cerr << "zandrel-host: demo database ready in " << settings.database.string() << "\n";
    return 0;
}

namespace {

// The listing commands only read: the file is opened read-only, so they never turn a file
// that is not (yet) a database into one, nor complete an older one.
platform::Result<std::shared_ptr<host::Store>> openForReading(const HostSettings& settings) {
    host::StoreFactory::Options options;
    options.readOnly = true;
    return host::StoreFactory::open(settings.database.string(), options);
}

}  // namespace

int runUsers(const HostSettings& settings) {
    auto db = openForReading(settings);
    if (!db) return fail(kExitFailure, db.status().message());
    auto users = host::UserDirectory::allUsers(db.value());
    if (!users) return fail(kExitFailure, users.status().message());
    for (const auto& user : users.value())
        std::cout << user.signInName << "\t" << user.name << (user.active ? "" : "\t(inactive)") << "\n";
    return 0;
}

int runUsersAdd(const HostSettings& settings, const std::string& signInName, const std::string& name) {
    const bool valid = !signInName.empty() && signInName.size() <= 64 &&
                       std::all_of(signInName.begin(), signInName.end(), [](unsigned char c) {
                           return std::isalnum(c) || c == '.' || c == '_' || c == '-' || c == '@';
                       });
    if (!valid)
        return fail(kExitBadInput,
                    fmt::format("\"{}\" is not a sign-in name: use 1 to 64 letters, digits, '.', '_', "
                                "'-' or '@'",
                                platform::DisplayText::printable(signInName)));
    const std::string fullName = name.empty() ? signInName : name;
    if (std::any_of(fullName.begin(), fullName.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return fail(kExitBadInput, "--name holds control characters; give a name a person could type");
    if (!host::StoreFactory::isServerAddress(settings.database.string()) &&
        !std::filesystem::exists(settings.database))
        return fail(kExitBadInput,
                    fmt::format("no database file {}; create one first (zandrel-host --db {} init)",
                                settings.database.string(), settings.database.string()));
    auto db = host::StoreFactory::open(settings.database.string());
    if (!db) return fail(kExitFailure, db.status().message());
    auto context = DLPObjectContext::withoutUser(db.value());
    auto contact = context->createObject<GWContact>(true);
    auto user = context->createObject<GWUser>(true);
    if (!contact || !user) return fail(kExitFailure, (contact ? user.status() : contact.status()).message());
    // First and last name split at the last space, as a person would file them.
    const size_t space = fullName.rfind(' ');
    (*contact)->setFirstName(
        platform::Value(space == std::string::npos ? std::string() : fullName.substr(0, space)));
    (*contact)->setLastName(
        platform::Value(space == std::string::npos ? fullName : fullName.substr(space + 1)));
    (*user)->setLoginName(platform::Value(signInName));
    (*user)->setName(platform::Value(fullName));
    (*user)->setContactID(platform::Value((*contact)->primaryKeyValue()));
    (*user)->setActive(platform::Value(true));
    platform::Dictionary bindings;
    bindings["login"] = platform::Value(signInName);
    const std::string taken =
        fmt::format("the sign-in name \"{}\" is taken (see `zandrel-host users`)", signInName);
    if (auto guarded = context->guardInsert(*user, "GWUser.loginName:" + signInName, "loginName == $login",
                                            bindings, DLPObjectContext::SaveGuardAction::Refuse, taken);
        !guarded)
        return fail(kExitFailure, guarded.message());
    if (auto saved = context->saveChanges(); !saved)
        return fail(saved.code() == platform::Status::Code::Conflict ? kExitRefused : kExitFailure,
                    saved.code() == platform::Status::Code::Conflict ? taken : saved.message());
    std::cout << "added " << signInName << " (" << fullName << ")\n";
    return 0;
}

int runInit(const HostSettings& settings) {
    host::StoreFactory::Options options;
    options.createSchema = true;
    std::error_code ec;
    if (!host::StoreFactory::isServerAddress(settings.database.string()))
        std::filesystem::create_directories(settings.database.parent_path(), ec);
    auto db = host::StoreFactory::open(settings.database.string(), options);
    if (!db) return fail(kExitFailure, db.status().message());
    auto context = DLPObjectContext::withoutUser(db.value());
    for (const auto& entity : host::EntityCatalog::shared().entities()) {
        auto count = context->resultCountForEntityNamedQualifierLocumBindings(entity.name, "");
        if (!count) return fail(kExitFailure, count.status().message());
        if (*count > 0)
            return fail(kExitFailure, fmt::format("{} already holds records ({} {}); it is left as it was",
                                                  settings.database.string(), *count, entity.name));
    }
    std::cerr << "zandrel-host: " << (*db)->displayName()
              << " is ready; add users with `zandrel-host --db ... users add NAME`\n";
    return 0;
}

namespace {

TemplateTable::Template tableEntry(CustomRecordSetDefinition& formDef,
                                   const std::vector<std::shared_ptr<CustomRecordDefinition>>& fields) {
    auto text = [](const platform::Value& value) {
        return value.isString() ? value.asString() : std::string(value.isNull() ? "" : value.toJson());
    };
    auto flag = [](const platform::Value& value) {
        return (value.isBool() || value.isInteger()) && value.asBool();
    };
    TemplateTable::Template entry{text(formDef.name()), flag(formDef.active()), {}};
    for (const auto& field : fields) {
        const platform::Value code = field->typeCode();
        entry.fields.push_back(
            {text(field->name()), code.isInteger() ? code.asInteger() : -1, flag(field->active())});
    }
    return entry;
}

// Written by TemplateTable::renderJson (the platform's JsonWriter), keys in this order.
TemplateTable::JsonEntry jsonEntry(CustomRecordSetDefinition& formDef,
                                   const std::vector<std::shared_ptr<CustomRecordDefinition>>& fields) {
    platform::Array list;
    for (const auto& field : fields)
        list.push_back(platform::Value(platform::Dictionary{{"active", field->active()},
                                                            {"defaultValue", field->defaultValue()},
                                                            {"details", field->details()},
                                                            {"name", field->name()},
                                                            {"options", field->options()},
                                                            {"typeCode", field->typeCode()}}));
    return {{"name", formDef.name()},
            {"active", formDef.active()},
            {"details", formDef.details()},
            {"forContact", formDef.forContact()},
            {"forGroup", formDef.forGroup()},
            {"forOpportunity", formDef.forOpportunity()},
            {"forOrganization", formDef.forOrganization()},
            {"forProject", formDef.forProject()},
            {"fields", platform::Value(std::move(list))}};
}

}  // namespace

int runTemplates(const HostSettings& settings, bool json) {
    // Every template, whoever may sign in: read without a user.
    auto db = openForReading(settings);
    if (!db) return fail(kExitFailure, db.status().message());
    auto contextPtr = DLPObjectContext::withoutUser(db.value());
    auto& context = *contextPtr;
    auto all = context.objectsForEntityNamedQualifierLocumBindings("CustomRecordSetDefinition", "", {});
    if (!all) return fail(kExitFailure, all.status().message());
    auto objects = all.value();
    std::sort(objects.begin(), objects.end(),
              [](const auto& a, const auto& b) { return a->primaryKeyValue() < b->primaryKeyValue(); });
    std::vector<TemplateTable::JsonEntry> out;
    std::vector<TemplateTable::Template> table;
    for (const auto& object : objects) {
        auto formDef = std::dynamic_pointer_cast<CustomRecordSetDefinition>(object);
        if (!formDef) continue;
        auto fields = formDef->customRecordDefinitions();
        if (!fields) return fail(kExitFailure, fields.status().message());
        if (json)
            out.push_back(jsonEntry(*formDef, fields.value()));
        else
            table.push_back(tableEntry(*formDef, fields.value()));
    }
    if (json) {
        std::cout << TemplateTable::renderJson(out);
    } else {
        // Cut to the terminal's width only on a terminal: piped, every name stays whole.
        std::cout << TemplateTable::render(table, TerminalText::terminalWidth(STDOUT_FILENO));
    }
    std::cout.flush();
    if (!std::cout) return fail(kExitFailure, "cannot write the listing to standard output");
    return 0;
}

namespace {

std::optional<std::string> optionalText(const platform::Value& value) {
    if (value.isNull()) return std::nullopt;
    return value.isString() ? value.asString() : value.toJson();
}

// "key 12 with 3 field definitions, key 40 with 0 ...": enough to tell same-named templates apart.
std::string sameNamedTemplates(host::HostApplication& app, const std::string& name) {
    auto context = app.document() ? app.document()->objectContext() : nullptr;
    if (!context) return "nobody is signed in to list them";
    platform::Dictionary bindings;
    bindings["name"] = platform::Value(name);
    auto found = context->objectsForEntityNamedQualifierLocumBindings(
        CustomRecordSetDefinition::kEntityName, "name == $name AND active == YES", bindings);
    if (!found) return found.status().message();
    std::string list;
    for (const auto& object : *found) {
        auto formDef = std::static_pointer_cast<CustomRecordSetDefinition>(object);
        auto fields = formDef->customRecordDefinitions();
        list += fmt::format("{}key {} with {} field definitions", list.empty() ? "" : ", ",
                            formDef->primaryKeyValue(), fields ? fields->size() : 0);
    }
    return list;
}

}  // namespace

int runConnectorMaps(const HostSettings& settings, bool json) {
    auto db = openForReading(settings);
    if (!db) return fail(kExitFailure, db.status().message());
    auto context = DLPObjectContext::withoutUser(db.value());
    auto all = context->objectsForEntityNamedQualifierLocumBindings(GWConnectorMap::kEntityName, "", {});
    if (!all) return fail(kExitFailure, all.status().message());
    std::vector<ConnectorMapListing::Record> records;
    records.reserve(all->size());
    for (const auto& object : all.value()) {
        auto map = std::dynamic_pointer_cast<GWConnectorMap>(object);
        if (!map) continue;
        ConnectorMapListing::Record record;
        record.foreignAppName = optionalText(map->foreignAppName());
        record.foreignEntityType = optionalText(map->foreignEntityType());
        record.foreignID = optionalText(map->foreignID());
        if (auto contact = map->contactID(); contact.isInteger()) record.contactID = contact.asInteger();
        record.json = optionalText(map->foreignDatabase());
        records.push_back(std::move(record));
    }
    if (json)
        std::cout << ConnectorMapListing::renderJson(records);
    else
        std::cout << ConnectorMapListing::renderTable(records, TerminalText::terminalWidth(STDOUT_FILENO));
    std::cout.flush();
    if (!std::cout) return fail(kExitFailure, "cannot write the listing to standard output");
    return 0;
}

int runDuplicate(const HostSettings& settings, const std::string& templateName, const std::string& newName) {
    if (newName.empty()) return fail(kExitBadInput, "--name is empty: give the copy a name");
    platform::ScriptedFrontEnd driver;
    int status = 0;
    auto app = startHost(settings, true, status);
    if (!app) return status;

    // Choose the plug-in's command the way a person would: Plug-ins > Zandrel > its one command.
    auto zandrel = app->pluginsMenu()->itemWithTitle("Zandrel");
    auto command = zandrel && zandrel->submenu() ? zandrel->submenu()->itemAtIndex(0) : nullptr;
    if (!command)
        return fail(kExitFailure,
                    fmt::format("the Zandrel plug-in is not loaded from {}", settings.plugins.string()));
    // Answered in case the dialog cannot read the templates (it then says so in an alert).
    driver.answerAlertWithReturn(platform::kAlertDefaultReturn);
    if (!command->performAction()) return fail(kExitFailure, "the duplicate command did not run");

    auto sheet = platform::Application::shared().keyWindow();
    if (!driver.alerts().empty()) {
        if (sheet) sheet->performClose();
        return fail(kExitFailure, driver.lastAlert().message);
    }
    auto popUp = driver.find<platform::PopUpButton>("template");
    if (!sheet || !popUp) return fail(kExitFailure, "the duplicate dialog did not open");
    auto titles = popUp->itemTitles();
    if (size_t same = size_t(std::count(titles.begin(), titles.end(), templateName)); same > 1) {
        sheet->performClose();
        return fail(kExitBadInput,
                    fmt::format("{} active form templates are named \"{}\" ({}); rename all but "
                                "one first, so it is clear which to copy",
                                same, templateName, sameNamedTemplates(*app, templateName)));
    }
    if (std::find(titles.begin(), titles.end(), templateName) == titles.end()) {
        sheet->performClose();
        return fail(
            kExitBadInput,
            fmt::format("no active form template is named \"{}\" (see `zandrel-host templates --json`)",
                        templateName));
    }
    driver.selectPopUpItem("template", templateName);
    if (!driver.typeText("name", newName)) {
        sheet->performClose();
        return fail(kExitBadInput,
                    "--name holds control characters or bytes that are not UTF-8; give a name a "
                    "person could type");
    }
    driver.pressButton("duplicate");
    platform::RunLoop::main().runPending();

    if (!driver.alerts().empty() && driver.lastAlert().title == "Name already in use") {
        std::cout << driver.lastAlert().title << "\n" << driver.lastAlert().message << "\n";
        if (sheet->isVisible()) sheet->performClose();
        return kExitRefused;
    }
    if (driver.alerts().empty() || driver.lastAlert().title != "Success!")
        return fail(kExitFailure, driver.alerts().empty()
                                      ? "the dialog closed without duplicating (see the log above)"
                                      : fmt::format("the copy was not saved: {}: {}",
                                                    driver.lastAlert().title, driver.lastAlert().message));
    // The dialog saved the copy itself; anything else a plug-in left pending is saved here.
    driver.answerAlertWithReturn(platform::kAlertDefaultReturn);  // the host's alert if the save fails
    if (auto saved = app->saveChanges(); !saved)
        return fail(kExitFailure,
                    fmt::format("the copy was saved, but other changes were not: {}", saved.message()));
    std::cout << driver.lastAlert().title << " " << driver.lastAlert().message << "\n";
    return 0;
}

namespace {

// A command of a piped script failed: the run stopped there (1 stays for a failed save).
constexpr int kExitScriptFailed = 4;
// Longer than the 5 seconds a save waits for a locked database, so the normal path gets to
// report that itself.
constexpr std::chrono::seconds kSignalQuitDeadline{10};

// Signals become run-loop events: SIGTERM and SIGHUP save and quit through the normal quit path
// (a second one, or the deadline, ends the process at once); at a terminal Ctrl-C cancels and
// Ctrl-Z stops with the terminal put right, elsewhere Ctrl-C is a request to stop like SIGTERM.
void handleSignals(platform::SignalSource& signals, platform::TerminalFrontEnd& terminal, bool interactive) {
    auto terminate = [&signals, &terminal] {
        if (terminal.isTerminating()) return;
        signals.armEmergencyExit(
            {SIGTERM, SIGHUP, SIGINT},
            "zandrel-host: stopped at once by a second signal; changes made since the last "
            "save were not stored\n",
            kExitFailure, kSignalQuitDeadline);
        terminal.terminate();
    };
    signals.handle(SIGTERM, terminate);
    signals.handle(SIGHUP, terminate);
    if (interactive) {
        signals.handle(SIGINT, [&terminal] { terminal.interrupt(); });
        signals.handle(SIGTSTP, [&terminal] {
            terminal.suspend();
            platform::SignalSource::stopProcess();
            terminal.resume();  // continued (or the stop was refused: nobody could continue it)
        });
        signals.handle(SIGCONT, [&terminal] { terminal.resume(); });
        signals.handle(SIGWINCH, [&terminal] { terminal.terminalResized(); });
    } else {
        signals.handle(SIGINT, terminate);
    }
    signals.start();
}

}  // namespace

int runInteractive(const HostSettings& settings) {
    platform::TerminalFrontEnd::Options options;
    options.historyFile = platform::LineEditor::defaultHistoryFile();
    platform::TerminalFrontEnd terminal(options);
    platform::Application::shared().setFrontEnd(&terminal);
    int status = 0;
    auto app = startHost(settings, true, status);
    if (!app) return status;
    platform::SignalSource signals;
    handleSignals(signals, terminal, terminal.isInteractive());

    // Stored after every command a person completes, so a duplicate is never lost.
    terminal.setAfterCommandHandler([&] { (void)app->saveChangesAfterCommand(); });
    // Quitting saves first; a failed save keeps the host running (and reading) so nothing is
    // lost, except at the end of piped input or on a signal, where the exit status tells.
    terminal.setQuitHandler([&] {
        app->terminate();
        return app->quitRequested();
    });
    terminal.start();
    platform::RunLoop::main().runUntil(platform::RunLoopMode::Default,
                                       [&] { return app->quitRequested() || !terminal.isRunning(); });
    terminal.stop();
    signals.disarmEmergencyExit();
    platform::Application::shared().setFrontEnd(nullptr);
    if (!app->quitRequested()) return fail(kExitFailure, "quit with unsaved changes: the last save failed");
    if (terminal.failedLine()) return kExitScriptFailed;  // "line N: ..." is said already
    if (terminal.isTerminating()) std::cerr << "zandrel-host: saved and quit on a signal\n";
    return 0;
}
