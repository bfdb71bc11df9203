#!/bin/sh
# Starts the program from its program folder, which it finds beside this launcher's own folder.
here=$(dirname "$(readlink -f "$0")")
cd "$here/../lib/reelcast" || exit 1
exec ./reelcast "$@"
