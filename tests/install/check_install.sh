#!/usr/bin/env bash
# `cmake --install` of a build tree into a fresh prefix gives a host that works from there: it
# makes a demo database, duplicates a template through the installed plug-in and lists the copy,
# with nothing of the build tree on its paths.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for path in bin/zandrel-host bin/zandrel-tool lib/libzandrel_host.so lib/libzandrel_platform.so \
  PlugIns/Zandrel.plugin/libZandrel.so PlugIns/Zandrel.plugin/Info.json share/zandrel-host/Info.json; do
  [ -e "$prefix/$path" ] || { echo "not installed: $path" >&2; exit 1; }
done
# The installed files must not reach back into the build tree.
if grep -l --binary-files=text "$build/lib" "$prefix"/bin/* "$prefix"/lib/*.so "$prefix"/PlugIns/*/*.so; then
  echo "an installed file names the build tree's libraries (RUNPATH)" >&2
  exit 1
fi

export HOME=$prefix/home XDG_DATA_HOME=$prefix/home/data XDG_CONFIG_HOME=$prefix/home/config
db=$prefix/team.sqlite
"$prefix/bin/zandrel-host" --db "$db" --init-demo
"$prefix/bin/zandrel-host" --db "$db" --update-url "" duplicate --template "Project Intake" --name "Installed copy"
"$prefix/bin/zandrel-host" --db "$db" templates --json | grep -q '"Installed copy"' ||
  { echo "the copy made by the installed host is not listed" >&2; exit 1; }
echo "installed host works from $prefix"
