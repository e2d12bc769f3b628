#!/usr/bin/env bash
# Every text the windows show has an English translation in the catalogue.
set -euo pipefail
source_dir=$1
lupdate=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source_dir/translations/Kvara_ProgrammerEng.ts" "$work/check.ts"
(cd "$source_dir" && "$lupdate" -silent -locations none -I . ui/*.h ui/*.cpp ui/*.ui common/string_table.cpp -ts "$work/check.ts")
missing=$(grep -B2 'type="unfinished"' "$work/check.ts" | grep '<source>' || true)
if [ -n "$missing" ]; then
    echo "texts without an English translation:"
    echo "$missing"
    exit 1
fi
