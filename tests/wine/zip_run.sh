#!/usr/bin/env bash
# A Windows zip used as its readme says: unpacked, simulator\Lumorath.dll copied beside
# vesker.exe, then `vesker.exe --version` and a scan of examples\universal-ku.ini under Wine.
# The version and the files written must equal those of the Linux build, apart from the list's
# date and the report's scan time.
#
# usage: zip_run.sh ZIP LINUX_VESKER SOURCE_DIR    (Wine from $WINE; WINEPREFIX set by the caller)
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 ZIP LINUX_VESKER SOURCE_DIR" >&2; exit 2; }
zip=$(realpath "$1")
linux_vesker=$(realpath "$2")
source_dir=$(realpath "$3")
: "${WINE:?WINE names the Wine loader}"
export WINEDEBUG=${WINEDEBUG:--all} LUMORATH_PACE=0
unset LUMORATH_LIBRARY LUMORATH_SEED LUMORATH_SCENARIO
eval "$(sed -n '/^mask() {$/,/^}$/p' "$source_dir/tests/wine/whole_run_compare.sh")"

work=$(mktemp -d "${TMPDIR:-/tmp}/vesker-zip-run.XXXXXX")
trap 'rm -rf "$work"' EXIT
title=$(basename "$zip")
unzip -q "$zip" -d "$work/zip"
cp "$work/zip/simulator/Lumorath.dll" "$work/zip/"

want=$("$linux_vesker" --version < /dev/null)
got=$(cd "$work/zip" && "$WINE" vesker.exe --version < /dev/null 2>&1 | tr -d '\r') || true
[ "$got" = "$want" ] || { echo "FAIL $title: vesker.exe --version under Wine says \"$got\", the Linux build \"$want\""; exit 1; }

mkdir "$work/linux"
(cd "$work/linux" && "$linux_vesker" "$source_dir/examples/universal-ku.ini" < /dev/null > ../linux.txt 2>&1)
code=0
(cd "$work/zip" && "$WINE" vesker.exe 'examples\universal-ku.ini' < /dev/null > ../wine.txt 2>&1) || code=$?
[ $code -eq 0 ] || { echo "FAIL $title: vesker.exe examples\\universal-ku.ini under Wine: exit $code"; tail -5 "$work/wine.txt"; exit 1; }
files=$(cd "$work/linux" && ls)
for file in $files; do
  [ -f "$work/zip/$file" ] || { echo "FAIL $title: the run under Wine wrote no $file"; exit 1; }
  cmp -s <(mask "$work/linux/$file") <(mask "$work/zip/$file") || { echo "FAIL $title: $file differs"; exit 1; }
done
[ -n "$files" ] || { echo "FAIL $title: the Linux run wrote no files"; exit 1; }
echo "ok   $title under $(basename "$WINE"): --version and $(echo $files) equal to the Linux build's"
