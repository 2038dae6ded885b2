#pragma once

// zandrel-host check-updates: one update check of every loaded plug-in, run at once and to its
// end, without a person at the terminal.
//
//   zandrel-host [--update-url URL] [--upgrade-url URL] [--plugin-version V]
//                check-updates [--answer accept|cancel] [--answer download|skip|later]
//
// The host signs in (which starts the check), waits for the documents' replies (bounded by the
// request time-outs), and prints every alert and upgrade reminder it shows -- its title and text
// -- with the answer it gives: `accept`/`cancel` for the update alert (unanswered: cancel),
// `download` (ticking the confirmation box first), `skip` or `later` for the reminder
// (unanswered: later). An address the plug-in opens is printed as "open: URL", not launched.
// Failed transfers are silent, as they are for the plug-in. Exit status 0 when the check ran to
// its end; 1 when the host could not start or the replies did not come within the bound; 2 when
// no user can be signed in; 64 for two answers to the same question.

#include <string>
#include <vector>

#include "app/host/HostCommands.h"

int runCheckUpdates(const HostSettings& settings, const std::vector<std::string>& answers);
