#!/usr/bin/env bash
# package_test.sh BUILD_DIR PACKAGE_SOURCE CXX_COMPILER FLAGS
#
# Installs the build BUILD_DIR into a temporary prefix and configures the
# program of PACKAGE_SOURCE against that prefix alone, once per case of
# the table below (with the compiler and the compile and link FLAGS of the
# build). Each case names what the program asks the package for
# (KIV_CASE), what this machine hides from it, and whether find_package
# must succeed or fail, and with which words. The program of the case
# "headless" is then built and run. Fails when any case does.
set -euo pipefail
build=$1 source=$2 cxx=$3 flags=$4

work=$(mktemp -d "${TMPDIR:-/tmp}/kiv_package_test.XXXXXX")
trap 'rm -rf "$work"' EXIT
# What the programs below keep in the temp folder (the compiler's files,
# the framework's own folder of the account) stays in the work folder.
export TMPDIR=$work
prefix=$work/prefix
failures=0

cmake --install "$build" --prefix "$prefix" > "$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; echo "package_test: cannot install into $prefix" >&2; exit 1; }

# What a case hides from the program, as a machine without those
# packages would: wxWidgets and FreeType by disabling their find modules,
# AGG by pointing pkg-config at an empty folder.
mkdir -p "$work/no_pkgconfig"

# case | hidden | expected: ok, or the words the failure names
cases=(
  "headless|wxWidgets Freetype AGG|ok"
  "unknown||kiv has no component \"nosuch\""
  "gui|wxWidgets|component \"gui_addin\" needs the component \"gui\", which needs wxWidgets 3.2"
  "wx_gl||ok"
)
for row in "${cases[@]}"; do
  IFS='|' read -r name hidden expect <<< "$row"
  echo "== $name"
  dir=$work/$name
  options=(-DKIV_CASE="$name")
  environment=()
  for package in $hidden; do
    case $package in
      AGG) environment+=(PKG_CONFIG_LIBDIR="$work/no_pkgconfig");;
      *) options+=(-DCMAKE_DISABLE_FIND_PACKAGE_$package=ON);;
    esac
  done
  status=0
  env "${environment[@]}" cmake -S "$source" -B "$dir" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="$flags" \
    "${options[@]}" > "$work/$name.log" 2>&1 || status=$?
  # CMake breaks its messages into lines: the words are looked for in
  # the output joined into one line.
  output=$(tr -s ' \n' ' ' < "$work/$name.log")
  if [ "$expect" = ok ]; then
    if [ $status -ne 0 ]; then
      cat "$work/$name.log" >&2
      echo "package_test: $name: find_package(kiv) failed" >&2
      failures=$((failures + 1))
    fi
  elif [ $status -eq 0 ]; then
    echo "package_test: $name: configured, but should have failed naming: $expect" >&2
    failures=$((failures + 1))
  elif [[ $output != *"$expect"* ]]; then
    cat "$work/$name.log" >&2
    echo "package_test: $name: the failure does not say: $expect" >&2
    failures=$((failures + 1))
  fi
done

echo "== build and run the headless program"
if [ -f "$work/headless/build.ninja" ]; then
  if cmake --build "$work/headless" > "$work/build.log" 2>&1; then
    if ! "$work/headless/headless" "$prefix/bin" > "$work/run.log" 2>&1; then
      cat "$work/run.log" >&2
      echo "package_test: the headless program failed" >&2
      failures=$((failures + 1))
    fi
  else
    cat "$work/build.log" >&2
    echo "package_test: the headless program does not build" >&2
    failures=$((failures + 1))
  fi
fi
[ $failures -eq 0 ] || { echo "package_test: $failures failed" >&2; exit 1; }
echo "package_test: every case passed"
