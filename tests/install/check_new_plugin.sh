#!/usr/bin/env bash
# A plug-in of one's own, outside this tree: installed into a fresh prefix, `zandrel-tool
# new-plugin` writes its project, which configures and builds against the prefix alone, passes its
# own tests, and runs in the installed host beside the installed plug-ins. Also: new-plugin
# refuses a name that is no class name and never writes over an existing folder.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
tool=$prefix/bin/zandrel-tool
fail() { echo "$*" >&2; exit 1; }

# Refusals first: nothing may be written by them.
# (A very long name once overflowed the stack of the check itself.)
huge=$(head -c 100000 /dev/zero | tr '\0' A)
for name in 9Lives "Hello World" "" "Hé" "a-b" class "$huge" "$(head -c 101 /dev/zero | tr '\0' B)" $'\xff'; do
  status=0
  "$tool" new-plugin "$name" --dir "$work/refused" 2>"$work/err" || status=$?
  [ "$status" -eq 64 ] || fail "new-plugin '${name:0:80}' exited $status, not 64"
  grep -q "not a valid class name" "$work/err" || fail "new-plugin '${name:0:80}' said: $(head -c 300 "$work/err")"
  [ "$(wc -c <"$work/err")" -lt 400 ] || fail "new-plugin repeated a long name whole: $(head -c 300 "$work/err")"
done
for id in 'com.example"x' "com..example" ".com.example" "com.example." "$huge"; do
  status=0
  "$tool" new-plugin Fine --bundle-id "$id" --dir "$work/refused" 2>"$work/err" || status=$?
  [ "$status" -eq 64 ] || fail "new-plugin --bundle-id '${id:0:80}' exited $status, not 64"
  grep -q "not a valid bundle identifier" "$work/err" || fail "--bundle-id '${id:0:80}' said: $(head -c 300 "$work/err")"
done
[ ! -e "$work/refused" ] || fail "a refused new-plugin wrote $(ls -A "$work/refused")"

"$tool" new-plugin Hello --dir "$work/src" --bundle-id com.example.hello >"$work/out"
grep -q "DCMAKE_PREFIX_PATH=$prefix" "$work/out" || fail "new-plugin printed: $(cat "$work/out")"
grep -q '"com.example.hello"' "$work/src/Hello/Resources/Info.json" || fail "the bundle identifier is not in Info.json"
grep -q -- "-DCMAKE_PREFIX_PATH=$prefix" "$work/src/Hello/README.md" || fail "the README does not name the prefix"
touch "$work/src/Hello/mine.txt"
status=0
"$tool" new-plugin Hello --dir "$work/src" 2>"$work/err" || status=$?
[ "$status" -eq 1 ] || fail "new-plugin over an existing folder exited $status, not 1"
grep -q "$work/src/Hello already exists" "$work/err" || fail "the refusal does not name the folder: $(cat "$work/err")"
[ -e "$work/src/Hello/mine.txt" ] && [ -z "$(find "$work/src" -maxdepth 1 -name '.Hello*')" ] ||
  fail "the existing folder was touched, or a partial one left behind"
rm "$work/src/Hello/mine.txt"

# Against the prefix only: no path into the build tree or the sources.
start=$(date +%s%N)
cmake -S "$work/src/Hello" -B "$work/B" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >"$work/configure.log" ||
  { cat "$work/configure.log" >&2; fail "configuring the plug-in failed"; }
cmake --build "$work/B" >"$work/build.log" || { cat "$work/build.log" >&2; fail "building the plug-in failed"; }
end=$(date +%s%N)
echo "configure and build of the new plug-in: $(((end - start) / 1000000)) ms"
# (The framework's debug information names its sources' folders; only paths used count here.)
if grep -l "$build" "$work/B/CMakeCache.txt" "$work/B/build.ninja" ||
  readelf -d "$work/B/PlugIns/Hello.plugin/libHello.so" "$work/B/Hello_tests" | grep -E 'R(UN)?PATH' | grep -F "$build"; then
  fail "the plug-in's build reaches into the build tree"
fi
[ -e "$work/B/PlugIns/Hello.plugin/libHello.so" ] && [ -e "$work/B/PlugIns/Hello.plugin/Info.json" ] ||
  fail "no bundle in $work/B/PlugIns/Hello.plugin"
ctest --test-dir "$work/B" --output-on-failure >"$work/ctest.log" || { cat "$work/ctest.log" >&2; fail "the plug-in's tests failed"; }
grep -q "100% tests passed, 0 tests failed out of [1-9]" "$work/ctest.log" || fail "no tests ran: $(cat "$work/ctest.log")"

# The installed host with the installed bundles and the new one. --plugins names one folder, so
# it holds links to all three bundles.
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
mkdir -p "$HOME" "$work/plugins"
ln -s "$prefix"/PlugIns/*.plugin "$work/B/PlugIns/Hello.plugin" "$work/plugins/"
db=$work/demo.sqlite
"$prefix/bin/zandrel-host" --db "$db" --init-demo >"$work/init.log" 2>&1 || { cat "$work/init.log" >&2; fail "no demo database"; }
printf 'menu\nmenu Plug-ins > Hello > Say Hello\nanswer OK\nquit\n' |
  "$prefix/bin/zandrel-host" --db "$db" --plugins "$work/plugins" --update-url "" --upgrade-url "" \
    >"$work/host.out" 2>&1 || { cat "$work/host.out" >&2; fail "the host with the new plug-in failed"; }
plugins=$(sed -n '/^  3 Plug-ins$/,/^  [0-9] /p' "$work/host.out" | grep -E '^      3\.[0-9]+ ' | sed -E 's/^ *3\.[0-9]+ //')
[ "$plugins" = $'Hello\nShowcase\nZandrel' ] || fail "the Plug-ins menu holds: $plugins"
grep -q -- '+-- Alert: Hello' "$work/host.out" && grep -q '| Hello from Hello\.' "$work/host.out" ||
  { cat "$work/host.out" >&2; fail "Say Hello did not show \"Hello from Hello.\""; }
echo "a new plug-in builds against $prefix, passes its tests and runs in the installed host"
