#!/bin/sh
# Cross-compiles a Windows console test of tests/windows (platform_win_test by default) with
# platform/win and runs it under wine, headless, in a wine prefix of its own below the work
# folder. Exits 77 (skipped) when the cross compiler or wine is missing.
# Usage: run_windows_platform_test.sh SOURCE_DIR WORK_DIR [TEST]
set -e
source_dir=$1
work=$2
test=${3:-platform_win_test}
here=$source_dir/tests/windows
platform=$source_dir/platform

cxx=
for c in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
    if command -v "$c" >/dev/null 2>&1; then cxx=$c; break; fi
done
wine=
for w in wine64 /usr/lib/wine/wine64 wine; do
    if command -v "$w" >/dev/null 2>&1; then wine=$(command -v "$w"); break; fi
done
wineserver=
for s in "$(dirname "$wine")/wineserver64" "$(dirname "$wine")/wineserver" wineserver; do
    if command -v "$s" >/dev/null 2>&1; then wineserver=$(command -v "$s"); break; fi
done
if [ -z "$cxx" ] || [ -z "$wine" ] || [ -z "$wineserver" ]; then
    echo "skipped: needs the mingw-w64 cross compiler and wine64"
    exit 77
fi

mkdir -p "$work"
exe=$work/$test.exe
sources="$here/$test.cpp $platform/win/*.cpp"
# Rebuild only when a source or header changed.
if [ ! -f "$exe" ] || [ -n "$(find "$here/$test.cpp" "$platform" -newer "$exe" -name '*.[ch]*' | head -n 1)" ]; then
    # Static runtime: the program needs no DLL beside the system's.
    # shellcheck disable=SC2086
    "$cxx" -std=c++17 -O1 -Wall -Werror -DUNICODE -D_UNICODE -I"$platform" $sources -o "$exe.new" \
        -static -lole32 -loleaut32 -lstrmiids -luuid -lshell32 -lshlwapi -luser32
    mv "$exe.new" "$exe"
fi

export WINEPREFIX="$work/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
# The prefix is made once and reused; the marker says it was completed. The null graphics driver
# gives windows and one monitor without any display.
if [ ! -f "$WINEPREFIX/.complete" ]; then
    rm -rf "$WINEPREFIX"
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
    # The desktop started with the prefix has no driver yet: let that session end first.
    "$wineserver" -w
    touch "$WINEPREFIX/.complete"
fi

cd "$work"
# A process ended from outside (taskkill /f) exits with 0 too: only the closing line tells that
# the program ran to its end.
status=0
"$wine" "$exe" >"$work/output.txt" 2>&1 || status=$?
cat "$work/output.txt"
if [ $status -eq 0 ] && [ "$(tail -n 1 "$work/output.txt" | tr -d '\r')" != "0 failure(s)" ]; then
    echo "the test program ended before its end"
    status=1
fi
exit $status
