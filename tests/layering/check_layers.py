#!/usr/bin/env python3
"""Checks that every source includes only its own layer and the layers below it.

    platform < host < plugin framework < product (plugin/VX*) < app

The plug-in (framework and product) reaches the host only through the headers the host offers a
plug-in (HOST_PLUGIN_INTERFACE), and the framework names no product. Tests and benchmarks follow the layer they test. Each quoted or
angled include that names a file of this repository is resolved the way the compiler would
(beside the including file first, then from the include roots), so "../" paths are caught too.

Usage: check_layers.py SOURCE_ROOT      exit status 0 clean, 1 violations (listed), 2 bad usage
"""

import json
import os
import re
import sys

# Layer ranks: a file may include files of its own rank or lower.
PLATFORM, HOST, FRAMEWORK, PRODUCT, APP = range(5)
RANK_NAMES = {PLATFORM: "platform", HOST: "host", FRAMEWORK: "plug-in framework",
              PRODUCT: "product", APP: "app"}

# What the host offers a plug-in: its plug-in object, the application's documents and main
# windows, its menu manager, its object tabs and slide-overs, and the object context with its entities, qualifiers and settings.
HOST_PLUGIN_INTERFACE = {
    "host/app/DLPluginObject.h",
    "host/app/DLDocument.h",
    "host/app/DLMainWindow.h",
    "host/app/MCMenuManager.h",
    "host/app/DLObjectTabView.h",
    "host/app/DLSlideoverHost.h",
    "host/app/DLTabViewSlideoverContainer.h",
    "host/database/model/DLPObjectContext.h",
    "host/database/model/DLPObject.h",
    "host/database/model/Qualifier.h",
    "host/database/model/OptionsCache.h",
    "host/database/model/MCUserDefaults.h",
    "host/database/model/GWUser.h",
    "host/database/model/GWContact.h",
    "host/database/model/GWConnectorMap.h",
    "host/database/model/Category.h",
    "host/database/model/CustomRecordDefinition.h",
    "host/database/model/CustomRecordSetDefinition.h",
}

# The framework is shared by products and names none of them: a product's bundle name
# (CFBundleName in its Info.json) must not appear in framework code; products supply it at build
# time (KOPA_PRODUCT_NAME).
def product_names(root):
    names = set()
    plugin = os.path.join(root, "plugin")
    for dirpath, dirnames, filenames in os.walk(plugin):
        dirnames[:] = [d for d in dirnames if os.path.join(dirpath, d) != os.path.join(plugin, "framework")]
        if "Info.json" in filenames:
            try:
                with open(os.path.join(dirpath, "Info.json"), encoding="utf-8") as f:
                    name = json.load(f).get("CFBundleName")
            except (OSError, ValueError):
                continue
            if isinstance(name, str) and name:
                names.add(name)
    return names


SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")
SCANNED_FOLDERS = ("platform", "host", "plugin", "app", "sdk", "tests", "bench", "fuzz")
# Include roots the build offers somewhere: the repository root (through per-layer links) and the
# product folder, whose headers spell framework paths as "framework/...".
INCLUDE_ROOTS = ("", "plugin")
INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.MULTILINE)
COMMENT_RE = re.compile(r"//[^\n]*|/\*.*?\*/", re.DOTALL)


def rank_of(rel):
    """The layer rank of a repository file, or None for files outside the layers."""
    parts = rel.split("/")
    top = parts[0]
    if top == "platform":
        return PLATFORM
    if top == "host":
        return HOST
    if top == "plugin":
        return FRAMEWORK if len(parts) > 1 and parts[1] == "framework" else PRODUCT
    if top == "app":
        return APP
    return None


def allowed_rank(rel):
    """The highest layer a file may include, and whether the host interface rule applies."""
    parts = rel.split("/")
    top = parts[0]
    if top in ("tests", "bench"):
        if top == "tests" and len(parts) > 2:
            tested = {"support": PLATFORM, "platform": PLATFORM, "host": HOST,
                      "plugin": PRODUCT, "app": APP}.get(parts[1])
            if tested is not None:
                return tested, False
        return APP, False
    if top == "fuzz":
        return PRODUCT, False
    if top == "sdk":
        # The kit's test host stands in for the host a plug-in's tests run in: the whole host, no
        # plug-in and no program.
        return HOST, False
    rank = rank_of(rel)
    return rank, rank in (FRAMEWORK, PRODUCT)


def resolve(root, including_rel, bracket, spelled):
    """The repository-relative path an include names, or None when it is not a project file."""
    candidates = []
    if bracket == '"':
        candidates.append(os.path.join(os.path.dirname(including_rel), spelled))
    candidates += [os.path.join(base, spelled) for base in INCLUDE_ROOTS]
    for candidate in candidates:
        rel = os.path.normpath(candidate)
        if rel.startswith(".."):
            continue
        if os.path.isfile(os.path.join(root, rel)):
            return rel.replace(os.sep, "/")
    return None


def check_file(root, rel, products):
    with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
        text = COMMENT_RE.sub("", f.read())
    limit, host_interface_only = allowed_rank(rel)
    if limit is None:
        return []
    problems = []
    if rank_of(rel) == FRAMEWORK:
        for name in sorted(products):
            found = re.search(r"\b" + re.escape(name) + r"\b", text)
            if found:
                line = text.count("\n", 0, found.start()) + 1
                problems.append(f"{rel}:{line}: the framework names the product \"{name}\"; "
                                f"use KOPAProductName, which each product defines")
    for match in INCLUDE_RE.finditer(text):
        bracket, spelled = match.group(1), match.group(2)
        target = resolve(root, rel, bracket, spelled)
        if target is None:
            continue
        target_rank = rank_of(target)
        line = text.count("\n", 0, match.start()) + 1
        if target_rank is None:
            if target.split("/")[0] in ("tests", "bench", "fuzz") and rel.split("/")[0] not in (
                    "tests", "bench", "fuzz"):
                problems.append(f"{rel}:{line}: includes test code \"{spelled}\"")
            continue
        if target_rank > limit:
            problems.append(f"{rel}:{line}: {RANK_NAMES[limit]} code includes "
                            f"{RANK_NAMES[target_rank]} header \"{spelled}\"")
        elif host_interface_only and target_rank == HOST and target not in HOST_PLUGIN_INTERFACE:
            problems.append(f"{rel}:{line}: the plug-in includes \"{spelled}\", which the host does "
                            f"not offer plug-ins (offer it in HOST_PLUGIN_INTERFACE or use one that is)")
    return problems


def main(argv):
    if len(argv) != 2 or not os.path.isdir(argv[1]):
        print("usage: check_layers.py SOURCE_ROOT", file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    missing = [h for h in sorted(HOST_PLUGIN_INTERFACE) if not os.path.isfile(os.path.join(root, h))]
    problems = [f"HOST_PLUGIN_INTERFACE names {h}, which does not exist" for h in missing]
    scanned = 0
    products = product_names(root)
    for folder in SCANNED_FOLDERS:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, folder)):
            dirnames[:] = sorted(d for d in dirnames if d != "corpus")
            for name in sorted(filenames):
                if name.endswith(SOURCE_SUFFIXES):
                    rel = os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, "/")
                    problems += check_file(root, rel, products)
                    scanned += 1
    if scanned == 0:
        problems.append(f"no sources found under {root}: wrong SOURCE_ROOT?")
    for problem in problems:
        print(problem)
    if problems:
        print(f"{len(problems)} layering violation(s); a layer includes only itself and the layers below "
              f"it: platform < host < plug-in framework < product < app")
        return 1
    print(f"layering: {scanned} files clean")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
