#pragma once

// The terminal front end lives in platform/ui/terminal/; this name stays for the includes that
// still use it.
#include "platform/ui/terminal/TerminalFrontEnd.h"
