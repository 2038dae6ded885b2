#!/usr/bin/env python3
"""Cases for check_layers.py: each plants one include in a small tree shaped like the repository
and expects the checker's verdict (clean, or a violation naming the file and the layers)."""

import os
import subprocess
import sys
import tempfile

CHECKER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "check_layers.py")

# Headers every planted tree has, so that includes resolve to real files.
BASE_FILES = [
    "platform/foundation/Value.h",
    "host/app/DLPluginObject.h",
    "host/app/HostApplication.h",
    "host/database/sqlite/Database.h",
    "host/database/model/DLPObjectContext.h",
    "plugin/framework/Classes/VEXAPlugin.h",
    "plugin/VXZandrel.h",
    "app/tool/ToolCommand.h",
    "tests/support/TempDir.h",
]
# Every name the checker offers plug-ins must exist, or it reports its own list as stale.
OFFERED = [
    "host/app/DLDocument.h", "host/app/DLMainWindow.h", "host/app/MCMenuManager.h", "host/database/model/DLPObject.h",
    "host/database/model/Qualifier.h", "host/database/model/OptionsCache.h", "host/database/model/MCUserDefaults.h",
    "host/database/model/GWUser.h", "host/database/model/GWContact.h", "host/database/model/GWConnectorMap.h",
    "host/database/model/Category.h", "host/database/model/CustomRecordDefinition.h",
    "host/database/model/CustomRecordSetDefinition.h", "host/app/DLObjectTabView.h", "host/app/DLSlideoverHost.h",
    "host/app/DLTabViewSlideoverContainer.h",
]

# (file that gets the include, include line, expected fragment of the report or None for clean)
CASES = [
    ("platform/foundation/Log.cpp", '#include "platform/foundation/Value.h"', None),
    ("platform/foundation/Log.cpp", '#include "host/database/sqlite/Database.h"',
     'platform code includes host header "host/database/sqlite/Database.h"'),
    ("platform/foundation/Log.cpp", '#include "../../host/database/sqlite/Database.h"',
     "platform code includes host header"),
    ("platform/foundation/Log.cpp", "#include <host/database/sqlite/Database.h>", "platform code includes host header"),
    ("platform/foundation/Log.cpp", '#include "VXZandrel.h"', "platform code includes product header"),
    ("platform/foundation/Log.h", '  #  include "plugin/framework/Classes/VEXAPlugin.h"',
     "platform code includes plug-in framework header"),
    ("platform/foundation/Log.cpp", '// #include "host/database/sqlite/Database.h"', None),
    ("platform/foundation/Log.cpp", '/* #include "host/database/sqlite/Database.h" */', None),
    ("host/database/store/Schema.cpp", '#include "platform/foundation/Value.h"', None),
    ("host/database/store/Schema.cpp", '#include "plugin/framework/Classes/VEXAPlugin.h"',
     "host code includes plug-in framework header"),
    ("host/app/Loader.cpp", '#include "app/tool/ToolCommand.h"', "host code includes app header"),
    ("plugin/framework/Classes/VEXAHelper.cpp", '#include "host/database/model/DLPObjectContext.h"', None),
    ("plugin/framework/Classes/VEXAHelper.cpp", '#include "../../VXZandrel.h"',
     "plug-in framework code includes product header"),
    ("plugin/framework/Classes/VEXAHelper.cpp", '#include "VXZandrel.h"',
     "plug-in framework code includes product header"),
    ("plugin/framework/Classes/VEXAHelper.cpp", '#include "host/database/sqlite/Database.h"',
     "which the host does not offer plug-ins"),
    ("plugin/VXZandrel.cpp", '#include "framework/Classes/VEXAPlugin.h"', None),
    ("plugin/VXZandrel.cpp", '#include "host/app/HostApplication.h"', "which the host does not offer plug-ins"),
    ("plugin/VXZandrel.cpp", '#include "app/tool/ToolCommand.h"', "product code includes app header"),
    ("plugin/VXZandrel.cpp", '#include "tests/support/TempDir.h"', "includes test code"),
    ("app/tool/main.cpp", '#include "host/database/sqlite/Database.h"', None),
    ("tests/platform/ValueTest.cpp", '#include "host/database/sqlite/Database.h"', "platform code includes host header"),
    ("tests/support/TempDir.cpp", '#include "host/app/HostApplication.h"', "platform code includes host header"),
    ("tests/host/SchemaTest.cpp", '#include "host/database/sqlite/Database.h"', None),
    ("tests/plugin/HelperTest.cpp", '#include "app/tool/ToolCommand.h"', "product code includes app header"),
    ("tests/plugin/HelperTest.cpp", '#include "host/app/HostApplication.h"', None),
    ("sdk/testing/KOPATestHost.cpp", '#include "host/app/HostApplication.h"', None),
    ("sdk/testing/KOPATestHost.cpp", '#include "framework/Classes/VEXAPlugin.h"',
     "host code includes plug-in framework header"),
    ("sdk/testing/KOPATestHost.cpp", '#include "app/tool/ToolCommand.h"', "host code includes app header"),
    ("platform/foundation/Log.cpp", '#include "no/such/file.h"', None),
    ("plugin/framework/Classes/VEXAPlugin.cpp", 'const char* title = "Zandrel";',
     'the framework names the product "Zandrel"'),
    ("plugin/framework/Classes/VEXAPlugin.cpp", '// Zandrel is one product built on it', None),
    ("plugin/framework/Classes/VEXAPlugin.cpp", 'const char* title = "ZandrelX";', None),
    ("plugin/VXZandrel.cpp", 'const char* title = "Zandrel";', None),
]


def write(root, rel, text):
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def run_case(path, line):
    with tempfile.TemporaryDirectory() as root:
        for rel in BASE_FILES + OFFERED:
            write(root, rel, "#pragma once\n")
        write(root, "plugin/Resources/Info.json", '{"CFBundleName": "Zandrel"}')
        write(root, path, f"#pragma once\n{line}\nint x;\n")
        result = subprocess.run([sys.executable, CHECKER, root], capture_output=True, text=True)
        return result.returncode, result.stdout + result.stderr


def main():
    failures = []
    for path, line, expected in CASES:
        status, output = run_case(path, line)
        if expected is None:
            if status != 0:
                failures.append(f"{path} with {line!r}: expected clean, got status {status}:\n{output}")
        elif status != 1 or expected not in output or path not in output:
            failures.append(f"{path} with {line!r}: expected status 1 and {expected!r}, got {status}:\n{output}")
    # A tree without sources is a wrong argument, not a clean tree.
    with tempfile.TemporaryDirectory() as empty:
        result = subprocess.run([sys.executable, CHECKER, empty], capture_output=True, text=True)
        if result.returncode == 0:
            failures.append("an empty tree passed as clean")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{len(CASES) + 1 - len(failures)} of {len(CASES) + 1} layering checker cases pass")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
