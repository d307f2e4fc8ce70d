#!/usr/bin/env bash
# The band map in a real browser: a whole simulator scan of tests/band_map/three-margins.xml
# with BandMap on, the picture (and the golden ones) validated as SVG 1.1 by xmllint, a
# screenshot of it by headless Chromium, and the screenshot's pixels read at the centres of
# the three carriers (one per margin colour) and at a point in a gap, which must be background.
source "$(dirname "$0")/leg.sh"
leg_begin bandmap
root=$repository
build=$root/build
linux_build vesker Lumorath

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
g++ -O1 -o "$work/png_pixels" "$root/tests/band_map/png_pixels.cpp" -lz

# The scan: the seed makes the carrier just below its required C/N lock.
(cd "$work" && LUMORATH_LIBRARY="$build/libLumorath.so" LUMORATH_SCENARIO="$root/tests/band_map/three-margins.xml" \
   LUMORATH_SEED=14 "$build/vesker" "$root/tests/band_map/band-map.ini" >console.txt </dev/null)
grep -q "^Draw the band map to 0192.svg ...$" "$work/console.txt" || { cat "$work/console.txt"; leg_fail "the scan drew no band map"; }
xmllint --noout --dtdvalid /usr/share/xml/w3c-sgml-lib/schema/dtd/REC-SVG11-20110816/svg11.dtd \
  "$work/0192.svg" "$root"/tests/golden/*.svg "$root/docs/band-map.svg"

# The picture has no size of its own: it scales to the window. A window of its viewBox's size
# shows it at one pixel per unit, so the bars' coordinates are the screenshot's.
height=$(sed -n 's/^<svg .* viewBox="0 0 1600 \([0-9]*\)".*/\1/p' "$work/0192.svg")
[ -n "$height" ] || leg_fail "no viewBox 0 0 1600 H in the picture"
profile=$(mktemp -d)
if ! timeout 180 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
     --disable-background-networking --disable-component-update --disable-sync --hide-scrollbars \
     --force-device-scale-factor=1 --user-data-dir="$profile" --screenshot="$work/shot.png" \
     --window-size="1600,$height" "file://$work/0192.svg" >"$work/chromium.log" 2>&1 </dev/null ||
   [ ! -s "$work/shot.png" ]; then
  rm -rf "$profile"
  leg_fail "headless chromium took no screenshot: $(tail -n 1 "$work/chromium.log")"
fi
rm -rf "$profile"

# Each bar as "MHz x y width height fill", from the picture itself.
bars=$(sed -n 's/^<rect x="\([0-9]*\)" y="\([0-9]*\)" width="\([0-9]*\)" height="\([0-9]*\)" fill="\(#[0-9a-f]*\)".*<title>TP [0-9]*: \([0-9.]*\) MHz.*/\6 \1 \2 \3 \4 \5/p' \
       "$work/0192.svg")
# The bar whose carrier lies within 1 MHz of $1.
bar_near() { awk -v f="$1" '$1 > f - 1 && $1 < f + 1 { print; exit }' <<<"$bars"; }

passed=0 failed=0
# Compares the screenshot's pixel at $2,$3 with colour $4 (within 8 per channel) for check $1.
check_pixel() {
  local name=$1 x=$2 y=$3 want=$4 got
  got=$("$work/png_pixels" "$work/shot.png" "$x" "$y" | cut -d' ' -f3)
  local close=1 i d
  for i in 1 3 5; do
    d=$((16#${got:i:2} - 16#${want:i:2}))
    [ "$d" -le 8 ] && [ "$d" -ge -8 ] || close=0
  done
  if [ "$close" -eq 1 ]; then
    echo "ok: $name at $x,$y is $got"
    passed=$((passed + 1))
  else
    echo "FAIL: $name at $x,$y is $got, not $want"
    failed=$((failed + 1))
  fi
}

for row in "11000 #0072b2 blue" "11200 #e69f00 orange" "11400 #d55e00 vermillion"; do
  read -r mhz colour name <<<"$row"
  bar=$(bar_near "$mhz")
  if [ -z "$bar" ]; then
    echo "FAIL: no bar for the $name carrier at $mhz MHz"
    failed=$((failed + 1))
    continue
  fi
  read -r _ x y w h fill <<<"$bar"
  [ "$fill" = "$colour" ] || echo "note: the $name carrier is drawn in $fill"
  check_pixel "$name carrier $mhz MHz" $((x + w / 2)) $((y + h / 2)) "$colour"
done

# The gap between the blue and the orange carrier, at the height of the blue bar's centre.
read -r _ gx gy gw gh _ <<<"$(bar_near 11000)"
read -r _ ax _ _ _ _ <<<"$(bar_near 11200)"
check_pixel "gap between 11000 and 11200 MHz" $(((gx + gw + ax) / 2)) $((gy + gh / 2)) "#ffffff"

echo "bandmap: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || leg_fail "$failed of $((passed + failed)) pixel checks failed"
leg_note "SVG 1.1 valid; screenshot by $(chromium --version 2>/dev/null | awk 'NR == 1 { print $1, $2 }'): $passed of $passed pixel checks"
