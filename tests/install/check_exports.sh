#!/usr/bin/env bash
# check_exports.sh BIN_DIR LIST_DIR [--update]
#
# Compares the dynamic exports of each library in BIN_DIR with the list
# LIST_DIR/<library>.txt (one demangled name a line, sorted): a listed
# name the library no longer exports, and an exported name the list does
# not hold, both fail. --update writes the lists from the libraries
# instead; a change of what a library exports changes its list in the
# same commit.
set -euo pipefail
bin=$1 lists=$2 update=${3:-}

# The names a library exports. Only strong definitions count (nm's T, D,
# B, R, i): each is a function or object our code defines out of line
# and marks for export. Weak ones (W, V) are left out: they are
# vague-linkage copies the compiler emits into every library that uses an
# inline function, a template instantiation, or a vtable or typeinfo of a
# class without a key function (std:: and wxWidgets types mostly), and
# which of them appear depends on the optimisation level and on the code
# a library happens to use. Left out too are the linker's section marks
# and what a sanitizer build adds (__asan*, __odr_asan*, __ubsan*, ...).
# So the rule holds in the normal and the sanitizer builds alike.
exports_of() {
  nm -D --defined-only "$1" | awk '$2 ~ /^[TDBRi]$/ { print $3 }' |
    grep -Ev '^(_edata|_end|__bss_start|_init|_fini)$|^__(asan|odr_asan|ubsan|sanitizer|lsan|tsan)' |
    c++filt | LC_ALL=C sort -u
}

status=0
for lib in kiv_core kiv_image kiv_zip kiv_http kiv_gis gis_ozm_driver gwx_map_driver kiv_gui kiv_gui_addin; do
  so=$bin/$lib.so list=$lists/$lib.txt
  [ -f "$so" ] || { echo "$lib: $so is missing"; status=1; continue; }
  if [ "$update" = "--update" ]; then
    exports_of "$so" > "$list"
    continue
  fi
  [ -f "$list" ] || { echo "$lib: no list $list"; status=1; continue; }
  if ! differences=$(diff <(LC_ALL=C sort -u "$list") <(exports_of "$so")); then
    echo "$lib: exports differ from $list (< listed but not exported, > exported but not listed):"
    grep '^[<>]' <<< "$differences"
    status=1
  fi
done
exit $status
