#!/usr/bin/env bash
# The installed plug-in developer's kit: every installed header compiles on its own (one
# translation unit per header, -fsyntax-only, a few compilers at a time), the host headers are
# the ones the layering rule offers a plug-in plus those they include, and the CMake package is
# there.
set -euo pipefail
build=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

for path in lib/libkopa_framework.a lib/libkopa_testing.so lib/cmake/Kopa/KopaConfig.cmake \
  lib/cmake/Kopa/KopaTargets.cmake lib/cmake/Kopa/KopaProduct.cmake lib/cmake/Kopa/KOPAProductName.cpp \
  include/plugin/framework/Classes/VEXAPlugin.h include/platform/ui/ScriptedFrontEnd.h \
  include/sdk/testing/KOPATestHost.h share/kopa/framework/Resources/en.lproj; do
  [ -e "$prefix/$path" ] || { echo "not installed: $path" >&2; exit 1; }
done

# Host headers: each one the layering rule offers, and beyond them only headers they include.
python3 - "$source_dir" "$prefix/include" <<'PY'
import os, re, sys
sys.path.insert(0, os.path.join(sys.argv[1], "tests", "layering"))
import check_layers
include = sys.argv[2]
installed = {os.path.relpath(os.path.join(d, f), include)
             for d, _, files in os.walk(os.path.join(include, "host")) for f in files}
offered = set(check_layers.HOST_PLUGIN_INTERFACE)
problems = [f"not installed: {h}" for h in sorted(offered - installed)]
needed = set()
for header in installed:
    with open(os.path.join(include, header), encoding="utf-8") as f:
        for spelled in re.findall(r'^\s*#\s*include\s*"([^"]+)"', f.read(), re.M):
            beside = os.path.normpath(os.path.join(os.path.dirname(header), spelled))
            if not spelled.startswith("host/") and os.path.isfile(os.path.join(include, beside)):
                spelled = beside
            if spelled.startswith("host/"):
                needed.add(spelled)
problems += [f"installed but neither offered to a plug-in nor included: {h}"
             for h in sorted(installed - offered - needed)]
problems += [f"included but not installed: {h}" for h in sorted(needed - installed)]
for p in problems:
    print(p, file=sys.stderr)
sys.exit(1 if problems else 0)
PY
if [ -d "$prefix/include/platform/ui/gtk" ] || [ -d "$prefix/include/app" ] || [ -d "$prefix/include/tests" ]; then
  echo "installed headers of the GTK front end, the programs or the tests" >&2
  exit 1
fi

# One translation unit per header, compiled in batches of 12 by two compilers at a time.
mkdir "$work/units"
count=0
while IFS= read -r header; do
  count=$((count + 1))
  printf '#include "%s"\n' "$header" >"$work/units/$(printf '%04d' $count).cpp"
  printf '// %s\n' "$header" >>"$work/units/$(printf '%04d' $count).cpp"
done < <(cd "$prefix/include" && find . -name '*.h' | sed 's|^\./||' | sort)
[ "$count" -gt 100 ] || { echo "only $count headers installed" >&2; exit 1; }
if ! find "$work/units" -name '*.cpp' -print0 | sort -z |
  xargs -0 -n 12 -P 2 "${CXX:-g++}" -std=c++20 -fsyntax-only -Wall -Wextra -Wno-unused-parameter \
    -I "$prefix/include"; then
  echo "an installed header does not compile on its own (see above)" >&2
  exit 1
fi
echo "$count installed headers compile on their own"
