#!/usr/bin/env bash
# Whole runs of the Windows build under Wine against the Linux build: the same configuration
# and the same simulated band must give the same report and list, byte for byte, apart from
# the date text of the list and the scan time at the end of the report.
#
# usage: whole_run_compare.sh LINUX_VESKER LINUX_LIBRARY WINDOWS_VESKER_EXE WINDOWS_LIBRARY_DLL SOURCE_DIR
# Wine comes from $WINE (default: wine64, else wine); WINEPREFIX should be set by the caller.
set -euo pipefail

if [ $# -ne 5 ]; then
  echo "usage: $0 LINUX_VESKER LINUX_LIBRARY WINDOWS_VESKER_EXE WINDOWS_LIBRARY_DLL SOURCE_DIR" >&2
  exit 2
fi
linux_vesker=$(realpath "$1")
linux_library=$(realpath "$2")
windows_vesker=$(realpath "$3")
windows_library=$(realpath "$4")
source_dir=$(realpath "$5")

if [ -z "${WINE:-}" ]; then
  for candidate in /usr/lib/wine/wine64 wine64 wine; do
    if command -v "$candidate" >/dev/null 2>&1; then WINE=$candidate; break; fi
  done
fi
export WINEDEBUG=${WINEDEBUG:--all}
export LUMORATH_PACE=0   # no waiting for the modelled search time
unset LUMORATH_LIBRARY LUMORATH_SEED

work=$(mktemp -d "${TMPDIR:-/tmp}/vesker-wine-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The varying texts: the list's date ("7:05 - 09/12/2026") and the report's total time.
mask() {
  sed -E -e 's#[0-9]{1,2}:[0-9]{2} - [0-9]{2}/[0-9]{2}/[0-9]{4}#<date>#g' \
         -e 's#(Total Scan Time = )[0-9]+\.[0-9]+s#\1<time>s#' "$1"
}

# One run per line: configuration, scenario file (empty: the built-in satellite).
runs=("examples/universal-ku.ini|" "examples/c-band.ini|" "examples/motorised-usals.ini|examples/motorised-sky.xml")
if [ -f /usr/share/dvb/dvb-s/Hotbird-13.0E ]; then
  runs+=("examples/universal-ku.ini|/usr/share/dvb/dvb-s/Hotbird-13.0E")
fi

failures=0
compared=0
number=0
for run in "${runs[@]}"; do
  config=${run%%|*}
  scenario=${run#*|}
  [ -n "$scenario" ] && [ "${scenario:0:1}" != / ] && scenario=$source_dir/$scenario
  number=$((number + 1))
  title="$config${scenario:+ with $(basename "$scenario")}"
  if [ ! -f "$source_dir/$config" ] || { [ -n "$scenario" ] && [ ! -f "$scenario" ]; }; then
    echo "FAIL $title: configuration or scenario missing"
    failures=$((failures + 1))
    continue
  fi

  linux_dir=$work/$number/linux
  windows_dir=$work/$number/windows
  mkdir -p "$linux_dir/bin" "$linux_dir/run" "$windows_dir/bin" "$windows_dir/run"
  cp "$linux_vesker" "$linux_dir/bin/vesker"
  cp "$linux_library" "$linux_dir/bin/$(basename "$linux_library")"
  cp "$windows_vesker" "$windows_dir/bin/vesker.exe"
  cp "$windows_library" "$windows_dir/bin/Lumorath.dll"
  if [ -f "$source_dir/examples/Lumorath.ini" ]; then
    cp "$source_dir/examples/Lumorath.ini" "$linux_dir/bin/"
    cp "$source_dir/examples/Lumorath.ini" "$windows_dir/bin/"
  fi
  # The files land in the current directory of each run: no ReportDir or TPDir.
  for dir in "$linux_dir" "$windows_dir"; do
    grep -viE '^[[:space:]]*(ReportDir|TPDir)[[:space:]]*=' "$source_dir/$config" > "$dir/run/scan.ini"
  done

  linux_code=0
  (cd "$linux_dir/run" && LUMORATH_SCENARIO="$scenario" "$linux_dir/bin/vesker" scan.ini \
     < /dev/null > "$linux_dir/console.txt" 2>&1) || linux_code=$?
  windows_scenario=
  [ -n "$scenario" ] && windows_scenario=$(WINEDEBUG=-all "$WINE" winepath -w "$scenario" 2>/dev/null | tr -d '\r')
  windows_code=0
  (cd "$windows_dir/run" && LUMORATH_SCENARIO="$windows_scenario" "$WINE" "$windows_dir/bin/vesker.exe" scan.ini \
     < /dev/null > "$windows_dir/console.txt" 2>&1) || windows_code=$?

  problems=()
  [ "$linux_code" = "$windows_code" ] || problems+=("exit code $linux_code on Linux, $windows_code under Wine")
  linux_files=$(cd "$linux_dir/run" && ls | grep -vx scan.ini || true)
  windows_files=$(cd "$windows_dir/run" && ls | grep -vx scan.ini || true)
  if [ "$linux_files" != "$windows_files" ]; then
    problems+=("files differ: Linux [$(echo $linux_files)], Wine [$(echo $windows_files)]")
  elif [ -z "$linux_files" ]; then
    problems+=("no report or list written")
  fi
  for file in $linux_files; do
    [ -f "$windows_dir/run/$file" ] || continue
    if ! cmp -s <(mask "$linux_dir/run/$file") <(mask "$windows_dir/run/$file"); then
      problems+=("$file differs")
      diff <(mask "$linux_dir/run/$file" | cat -A) <(mask "$windows_dir/run/$file" | cat -A) | head -10 || true
    fi
  done
  if [ ${#problems[@]} -eq 0 ]; then
    echo "ok   $title: exit $linux_code, $(echo $linux_files) identical"
    compared=$((compared + 1))
  else
    echo "FAIL $title: ${problems[*]}"
    echo "--- Linux console (last lines)"; tail -5 "$linux_dir/console.txt"
    echo "--- Wine console (last lines)"; tail -5 "$windows_dir/console.txt"
    failures=$((failures + 1))
  fi
done

echo "whole runs compared: $compared identical, $failures failed"
[ "$failures" -eq 0 ]
