// zandrel-host: the host application with its plug-ins, on a database file or server
// (--db postgresql://USER@HOST:PORT/DBNAME).
//
//   zandrel-host [--db FILE] [--user NAME]                 interactive, in the terminal
//   zandrel-host [--db FILE] [--user NAME] duplicate --template NAME --name NEW
//   zandrel-host [--db FILE] templates [--json]            read-only
//   zandrel-host [--db FILE] users                         read-only
//   zandrel-host [--db FILE] connector-maps [--json]       read-only
//   zandrel-host --db FILE --init-demo
//   zandrel-host [--update-url URL] [--upgrade-url URL] check-updates [--answer ANSWER]...
//   --update-url, --upgrade-url and --plugin-version V apply to every loaded plug-in, any command
//
// Exit status: 0 success; 1 the database or a plug-in could not be used (message on stderr);
// 2 bad input (unknown template, empty name, unknown user); 3 the dialog refused the name;
// 64 the command line itself is wrong (CommandLineMistake).

#include <fmt/format.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>

#include "app/host/CheckUpdatesCommand.h"
#include "app/host/CommandLineMistake.h"
#include "app/host/GuiMode.h"
#include "app/host/HostCommands.h"
#include "host/app/DLPluginObject.h"
#include "host/database/store/StoreFactory.h"
#include "platform/foundation/UserDirectories.h"

namespace fs = std::filesystem;

namespace {

fs::path executableDirectory() {
    std::error_code ec;
    auto self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::current_path() : self.parent_path();
}

fs::path defaultDatabase() {
    fs::path base = platform::UserDirectories::dataHome();
    if (base.empty()) base = fs::temp_directory_path();
    return base / "zandrel" / "demo.sqlite";
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App cli{
        "zandrel-host: the CRM host stand-in with the Zandrel plug-in.\n"
        "Without a sub-command it opens the database, signs a user in and runs in the terminal:\n"
        "choose Plug-ins > Zandrel > Duplicate Form Template... (type `help` at the prompt).\n"
        "The default database is a demo database, created on first run."};
    cli.name("zandrel-host");
    HostSettings settings;
    settings.database = defaultDatabase();
    settings.plugins = executableDirectory().parent_path() / "PlugIns";
    settings.hostBundle = executableDirectory().parent_path() / "share" / "zandrel-host";
    bool initDemo = false;
    cli.add_option("--db", settings.database,
                   "Database file, or a PostgreSQL server's postgresql://USER@HOST:PORT/DBNAME (default: " +
                       settings.database.string() + ")");
    cli.add_option("--user", settings.user,
                   "Sign-in name of the user to sign in (default: the first active user)");
    cli.add_option("--plugins", settings.plugins, "Folder with the plug-in bundles (*.plugin)")
        ->check(CLI::ExistingDirectory);
    cli.add_option("--host-bundle", settings.hostBundle, "The host application's own bundle folder");
    cli.add_flag("--init-demo", initDemo,
                 "Create the demo database in --db and exit (refuses a non-empty one)");

    auto* duplicate =
        cli.add_subcommand("duplicate", "Duplicate a form template through the plug-in's dialog, then save");
    std::string templateName, newName;
    duplicate->add_option("--template", templateName, "Name of the active form template to copy")->required();
    duplicate->add_option("--name", newName, "Name of the copy, exactly as it should be")->required();

    auto* templates = cli.add_subcommand(
        "templates", "Print every form template with its field definitions (never writes the file)");
    bool json = false;
    templates->add_flag("--json", json, "As a JSON array (the stable form for scripts) instead of a table");
    templates->footer(
        "\nThe table has one line per template (name, active, number of field definitions) and its\n"
        "field definitions indented below it. On a terminal, long names are cut with an ellipsis to fit\n"
        "its width; piped or redirected, nothing is cut. Control characters in names are shown escaped.");

    auto* connectorMaps = cli.add_subcommand(
        "connector-maps",
        "Print every connector-map record: feature grants, plug-in notes (never writes the file)");
    bool mapsJson = false;
    connectorMaps->add_flag("--json", mapsJson,
                            "As a JSON array (the stable form for scripts) instead of a table");
    connectorMaps->footer(
        "\nOne record a line or, with --json, one object per record in stored order with the keys\n"
        "\"foreignAppName\", \"foreignEntityType\", \"foreignID\", \"contactID\" (a number; 0 is all users)\n"
        "and \"json\" (the JSON text the record keeps, as a string), each null when the record has none.\n"
        "A feature grant is a record of the type \"FeaturePermission\" whose foreignID is the feature.");

    auto* users = cli.add_subcommand(
        "users", "List the users, one a line: sign-in name, name, state (never writes the file)");
    auto* usersAdd =
        users->add_subcommand("add", "Add a user who may sign in (an active one, with a contact)");
    std::string newSignIn, newUserName;
    usersAdd->add_option("SIGN-IN", newSignIn, "The sign-in name (unique; letters, digits, . _ - @)")
        ->required();
    usersAdd->add_option("--name", newUserName, "The person's full name (default: the sign-in name)");
    usersAdd->footer(
        "\nExit status: 0 added; 1 the database failed; 2 a sign-in name that is empty or holds other\n"
        "characters; 3 the sign-in name is taken (by an earlier user or by another host at the same\n"
        "moment); 64 the command line is wrong.");

    auto* init = cli.add_subcommand(
        "init", "Create the tables in an empty database (a new team database) and exit; add users next");

    DLPluginObject::HostOverrides overrides;
    cli.add_option("--update-url", overrides.updateURL,
                   "Address of every plug-in's version document for this run (\"\": none)");
    cli.add_option("--upgrade-url", overrides.upgradeURL,
                   "Address of every plug-in's upgrade document for this run (\"\": none)");
    cli.add_option("--plugin-version", overrides.pluginVersion,
                   "The version every plug-in reports as running, for this run (to see an update offered)");
    auto* checkUpdates = cli.add_subcommand(
        "check-updates",
        "Run the plug-ins' update check now, print each alert and reminder and answer it, print the "
        "addresses opened (\"open: URL\")");
    std::vector<std::string> answers;
    checkUpdates
        ->add_option(
            "--answer", answers,
            "accept or cancel (the update alert; default cancel), download, skip or later (the upgrade "
            "reminder; default later); at most one of each")
        ->check(CLI::IsMember({"accept", "cancel", "download", "skip", "later"}))
        ->expected(1, 2)
        ->allow_extra_args(false);
    GuiOptions gui;
    addGuiOptions(cli, gui);
    cli.require_subcommand(0, 1);
    cli.footer(
        "\nIn the terminal: `help` lists the commands (menu, select, type, press, tick, close, answer, "
        "quit).\n"
        "The host saves after every completed command, at sign-off and at quit; a failed save is shown\n"
        "and the changes are kept (quitting is refused until they are stored, except at the end of\n"
        "piped input, which then exits 1). Several hosts may share one file; one that another program\n"
        "keeps locked for more than 5 seconds is reported as busy.\n"
        "\nExit status: 0 done; 1 the database, a plug-in or a save failed; 2 bad input (unknown\n"
        "template or user, empty name, missing database file); 3 the dialog refused the name\n"
        "(\"Name already in use\", printed with its message); 64 the command line is wrong (an unknown\n"
        "subcommand or option, a missing option or value, an extra word; the message says which).");

    try {
        cli.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return cli.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return cli.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << CommandLineMistake::describe(cli, e) << "\n";
        return CommandLineMistake::kExitStatus;
    }

    try {
        bool usingDefault = cli.get_option("--db")->count() == 0;
        if (initDemo) return runInitDemo(settings);
        if (init->parsed()) return runInit(settings);
        if (!host::StoreFactory::isServerAddress(settings.database.string()) &&
            !fs::exists(settings.database)) {
            if (!usingDefault) {
                // A typo must not leave an empty database behind.
                std::cerr << "zandrel-host: no database file " << settings.database
                          << "; create a demo one with --init-demo or check the path\n";
                return 2;
            }
            std::cerr << "zandrel-host: creating the demo database " << settings.database << "\n";
            if (int rc = runInitDemo(settings); rc != 0) return rc;
        }
        // A one-shot duplicate exits long before any reply could be shown: it asks nobody for
        // updates unless an address is given.
        if (duplicate->parsed()) {
            if (!overrides.updateURL) overrides.updateURL = "";
            if (!overrides.upgradeURL) overrides.upgradeURL = "";
        }
        DLPluginObject::setHostOverrides(overrides);
        if (checkUpdates->parsed()) return runCheckUpdates(settings, answers);
        if (usersAdd->parsed()) return runUsersAdd(settings, newSignIn, newUserName);
        if (users->parsed()) return runUsers(settings);
        if (templates->parsed()) return runTemplates(settings, json);
        if (connectorMaps->parsed()) return runConnectorMaps(settings, mapsJson);
        if (duplicate->parsed()) return runDuplicate(settings, templateName, newName);
        if (gui.gui) return runGui(settings, gui);
        return runInteractive(settings);
    } catch (const std::exception& e) {
        std::cerr << "zandrel-host: " << e.what() << "\n";
        return 1;
    }
}
