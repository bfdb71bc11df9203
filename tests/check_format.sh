#!/bin/sh
# Fails when a C++ source of the project does not follow the root .clang-format. Checks the
# files git tracks (a source tree without git: every .cpp/.h outside the build folders).
set -e
top=$1
cd "$top"
command -v clang-format >/dev/null || { echo "clang-format is not installed (scripts/packages.txt)"; exit 1; }
list=$(mktemp)
trap 'rm -f "$list"' EXIT
if git -c safe.directory="$top" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -c safe.directory="$top" ls-files -z -- '*.cpp' '*.h' >"$list"
else
    find . -path './build*' -prune -o \( -name '*.cpp' -o -name '*.h' \) -type f -print0 >"$list"
fi
count=$(tr -cd '\0' <"$list" | wc -c)
# A file deleted but not yet committed is skipped, not reported.
if xargs -0 sh -c 'for f; do [ -f "$f" ] && printf "%s\0" "$f"; done' sh <"$list" |
    xargs -0 -r clang-format --dry-run --Werror 2>"$list.out"; then
    rm -f "$list.out"
    echo "$count files follow .clang-format"
    exit 0
fi
echo "Files that do not follow .clang-format (fix with clang-format -i FILE):"
grep -o '^[^:]*\.\(cpp\|h\):[0-9]*:[0-9]*: error' "$list.out" | cut -d: -f1 | sort -u
rm -f "$list.out"
exit 1
