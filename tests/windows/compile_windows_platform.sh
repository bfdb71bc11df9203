#!/bin/sh
# Compiles each Windows source of the platform layer for Windows; fails on the first error.
set -e
cxx=$1
platform=$2
status=0
for f in "$platform"/win/*.cpp; do
    if ! "$cxx" -std=c++17 -fsyntax-only -Wall -Werror -DUNICODE -D_UNICODE -I"$platform" "$f"; then
        echo "does not compile for Windows: $f"
        status=1
    fi
done
exit $status
