#!/usr/bin/env bash
# True colours and transparency on a real X server: pictures tagged Display
# P3 (HEIC), Adobe RGB and ProPhoto RGB (JPEG) show the colours lcms2
# computes for the display profile set on the root window, and follow it
# when it changes while the viewer runs; a half-transparent red shows pink
# over the white background, and its checkerboard when the setting asks.
#
# usage: color_test.sh BRELVIX COLOR_PROBE
set -euo pipefail
brelvix=$1
probe=$2

if [ -z "${INSIDE_XVFB:-}" ]; then
  export INSIDE_XVFB=1
  # Without -noreset the server starts afresh whenever its last client
  # leaves, and the root window's properties go with it.
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp -noreset" "$0" "$@"
fi

source "$(dirname "$0")/session.sh"
pid=""
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}

pictures="$work/pictures"
mkdir -p "$pictures"
"$probe" write "$pictures" || fail "cannot write the pictures"
display="$pictures/display.icc"

# Waits up to 10 s for the screen to hold at least MIN pixels of each
# colour; the last counts are in $work/counts.
area=$((160 * 120))
shows() {
  local min=$1 line ok
  shift
  for _ in $(seq 1 100); do
    "$probe" count "$@" >"$work/counts" || return 1
    ok=1
    while read -r line; do
      [ "${line#* }" -ge "$min" ] || ok=0
    done <"$work/counts"
    [ "$ok" = 0 ] || return 0
    sleep 0.1
  done
  return 1
}
# Shows picture $1 and expects lcms2's colours for the display profile $2
# over most of its area (lossy coding leaves its edges uneven).
check() {
  local colour
  colour=$("$probe" expect "$pictures/$1" "$2") || fail "$1: no expectation (${colour})"
  shows $((area * 8 / 10)) "$colour" || fail "$1 over $2: lcms2 gives $colour, the screen has $(cat "$work/counts")"
  echo "$1 for $(basename "$2"): $(cat "$work/counts")"
}
start() {
  "$brelvix" "$pictures/$1" &
  pid=$!
}
stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

# The desktop's colour management publishes the display's profile before
# the viewer starts.
"$probe" display "$display" || fail "cannot set the display profile"
for picture in p3.heic adobe.jpg prophoto.jpg; do
  start "$picture"
  check "$picture" "$display"
  stop
done

# The profile is removed while the viewer shows a picture.
start adobe.jpg
check adobe.jpg "$display"
"$probe" display none || fail "cannot remove the display profile"
check adobe.jpg none
stop

# Half-transparent red over the white background is pink, 255,127,127;
# over the checkerboard it alternates with 230,102,102 over the grey squares.
start red.png
shows $((area / 3)) 255,127,127 || fail "no pink: $(cat "$work/counts")"
echo "over white: $(tr '\n' ' ' <"$work/counts")"
stop
mkdir -p "$XDG_CONFIG_HOME/brelvix"
{
  echo "# Brelvix registry, format 1"
  echo '[HKEY_CURRENT_USER\SOFTWARE\Dunmere Corporation\Brelvix]'
  echo '"TransparencyChecker" dword u32 1'
} >"$XDG_CONFIG_HOME/brelvix/registry"
start red.png
shows $((area / 3)) 255,127,127 230,102,102 || fail "no checkerboard: $(cat "$work/counts")"
echo "over the checkerboard: $(tr '\n' ' ' <"$work/counts")"
stop
echo "PASS"
