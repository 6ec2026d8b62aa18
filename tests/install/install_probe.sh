#!/usr/bin/env bash
# install_probe.sh BUILD_DIR PROBE_SOURCE CXX_COMPILER FLAGS
#
# Installs the build BUILD_DIR into a temporary prefix, configures and
# builds the program in PROBE_SOURCE against that prefix alone (with the
# compiler and the compile and link FLAGS of the build, so a sanitizer
# build's probe is instrumented as its libraries are), checks how the
# program names and finds the libraries, and runs it on a display of its
# own. Fails when any step does.
set -euo pipefail
build=$1 source=$2 cxx=$3 flags=$4

work=$(mktemp -d "${TMPDIR:-/tmp}/kiv_install_probe.XXXXXX")
trap 'rm -rf "$work"' EXIT
# What the programs below keep in the temp folder (the compiler's files,
# the framework's own folder of the account) stays in the work folder.
export TMPDIR=$work
prefix=$work/prefix
libraries=(kiv_core kiv_image kiv_zip kiv_http kiv_gis gis_ozm_driver gwx_map_driver kiv_gui kiv_gui_addin)

step() { echo "== $*"; }
fail() { echo "install_probe: $*" >&2; exit 1; }
# Runs a command with its output kept, shown only when it fails.
quiet() {
  local log=$work/step.log
  "$@" > "$log" 2>&1 || { cat "$log" >&2; fail "failed: $*"; }
}

step "install into $prefix"
quiet cmake --install "$build" --prefix "$prefix"
for lib in "${libraries[@]}"; do
  [ -f "$prefix/bin/$lib.so" ] || fail "$lib.so is not installed in $prefix/bin"
  soname=$(readelf -d "$prefix/bin/$lib.so" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "$lib.so" ] || fail "$lib.so carries the SONAME '$soname'"
done
[ -x "$prefix/bin/ozm_view" ] && [ -f "$prefix/bin/config/config.xml" ] || fail "ozm_view or its configuration is missing"

step "configure and build the probe with CMAKE_PREFIX_PATH=$prefix"
quiet cmake -S "$source" -B "$work/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags"
found=$(sed -n 's/^kiv_DIR:PATH=//p' "$work/build/CMakeCache.txt")
[ "$found" = "$prefix/lib/cmake/kiv" ] || fail "find_package(kiv) took '$found', not the prefix's package"
quiet cmake --build "$work/build"
probe=$work/build/kiv_install_probe

step "the probe's libraries"
# The program names each library by its SONAME, never by a path (the
# linker keeps only those whose symbols it calls: --as-needed)...
needed=$(readelf -d "$probe" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
for lib in kiv_core kiv_gui kiv_gui_addin; do
  grep -qx "$lib.so" <<< "$needed" || fail "the probe does not need $lib.so by name: $(tr '\n' ' ' <<< "$needed")"
done
if grep -q / <<< "$needed"; then fail "the probe needs a library by path: $(tr '\n' ' ' <<< "$needed")"; fi
# ...and the dynamic loader finds every one of ours in the prefix.
ldd "$probe" > "$work/ldd.txt"
grep -E '(kiv_|gis_ozm_driver|gwx_map_driver)[a-z_]*\.so' "$work/ldd.txt" || true
# A line is "NAME => PATH (ADDRESS)" or "NAME => not found"; the path
# may hold blanks.
while IFS= read -r line; do
  [[ $line =~ ^[[:space:]]*([^[:space:]]+)\ =\>\ (.*)$ ]] || continue
  name=${BASH_REMATCH[1]} path=${BASH_REMATCH[2]% (0x*)}
  case $name in
    kiv_*.so|gis_ozm_driver.so|gwx_map_driver.so)
      [ "$path" = "$prefix/bin/$name" ] || fail "$name resolves to '$path', not $prefix/bin/$name";;
  esac
done < "$work/ldd.txt"

# A GUI program takes a display no other test program holds, by the lock
# the GUI test harness takes (the X server's own /tmp/.X<number>-lock of
# a local display, else a file named after the display and the account
# in KIV_TEST_DISPLAY_LOCKS or /tmp): the first free one of KIV_TEST_DISPLAYS, else it waits for
# its turn on one of them or on DISPLAY.
open_lock() {
  local number=${1#:}
  number=${number%%.*}
  if [[ $1 == :* && $number =~ ^[0-9]+$ && -r /tmp/.X$number-lock && ! -L /tmp/.X$number-lock ]]; then
    exec {lock}<"/tmp/.X$number-lock"
  else
    exec {lock}>>"${KIV_TEST_DISPLAY_LOCKS:-/tmp}/kiv_display${1//[^[:alnum:]]/_}-$(id -u).lock"
  fi
}
displays=()
for n in ${KIV_TEST_DISPLAYS:-}; do displays+=(":$n"); done
[ ${#displays[@]} -gt 0 ] || displays=("${DISPLAY:-}")
chosen=""
for d in "${displays[@]}"; do
  open_lock "$d"
  if flock -n "$lock"; then chosen=$d; break; fi
  exec {lock}>&-
done
if [ -z "$chosen" ]; then
  chosen=${displays[$(( $$ % ${#displays[@]} ))]}
  open_lock "$chosen"
  flock "$lock"
fi

step "run the probe on display $chosen"
mkdir -p "$work/run"
DISPLAY=$chosen "$probe" "$prefix/bin" "$work/run"
