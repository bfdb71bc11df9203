#!/bin/sh
# Fails when a text of the code has no finished English translation: the texts are collected
# afresh into a copy of the translation file, and anything new or unfinished is listed.
set -e
top=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top/language/reelcast_en.ts" "$work/check.ts"
cd "$top"
dirs=
for d in hostkit common controls reelcast platform vcamera; do [ -d "$d" ] && dirs="$dirs $d"; done
lupdate -no-obsolete -locations none $dirs -ts "$work/check.ts" >/dev/null
python3 - "$work/check.ts" <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
missing = []
for ctx in root.iter("context"):
    for msg in ctx.iter("message"):
        tr = msg.find("translation")
        if tr is None or tr.get("type") == "unfinished" or not (tr.text or "").strip():
            missing.append(f"{ctx.findtext('name')}: {msg.findtext('source')!r}")
if missing:
    print("Texts without a finished English translation (run scripts/update-translations and scripts/translate):")
    print("\n".join(missing))
    sys.exit(1)
print("all texts translated")
PY
