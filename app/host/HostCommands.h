#pragma once

// The commands of zandrel-host. Each returns the process's exit status and prints its own
// messages ("zandrel-host: <what went wrong>: <what to do>") on standard error.

#include <filesystem>
#include <string>

struct HostSettings {
    std::filesystem::path database;
    std::filesystem::path plugins;
    std::filesystem::path hostBundle;
    std::string user;  // empty: the first active user
};

int runInitDemo(const HostSettings& settings);
int runUsers(const HostSettings& settings);
// Adds an active user (and a contact for them) under a new sign-in name.
int runUsersAdd(const HostSettings& settings, const std::string& signInName, const std::string& name);
// Gives an empty database the tables (no records), refusing one that holds anything.
int runInit(const HostSettings& settings);
// As JSON (the stable form for scripts) or as a readable table.
int runTemplates(const HostSettings& settings, bool json);
// Every connector-map record (ConnectorMapListing), as JSON or as a table; only reads.
int runConnectorMaps(const HostSettings& settings, bool json);
int runDuplicate(const HostSettings& settings, const std::string& templateName, const std::string& newName);
int runInteractive(const HostSettings& settings);
