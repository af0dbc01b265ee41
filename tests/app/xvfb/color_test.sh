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

# Retries the command for up to 10 s; its last output is kept in $said.
said=""
wait_for() {
  for _ in $(seq 1 100); do
    if said=$("$@" 2>&1); then
      return 0
    fi
    sleep 0.1
  done
  return 1
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
  wait_for "$probe" check "$pictures/$picture" "$display" || fail "$said"
  echo "$said"
  stop
done

# The profile is replaced, then removed, while the viewer shows a picture.
start adobe.jpg
wait_for "$probe" check "$pictures/adobe.jpg" "$display" || fail "$said"
"$probe" display none || fail "cannot remove the display profile"
wait_for "$probe" check "$pictures/adobe.jpg" none || fail "after the profile went: $said"
echo "without a display profile: $said"
stop

# Half-transparent red over the white background is pink, 255,127,127;
# over the checkerboard it alternates with 230,102,102 over the grey squares.
area=$((160 * 120))
counts_at_least() {
  local line
  "$probe" count "$@" >"$work/counts" || return 1
  while read -r line; do
    [ "${line#* }" -ge $((area / 3)) ] || return 1
  done <"$work/counts"
}
start red.png
wait_for counts_at_least 255,127,127 || fail "no pink: $(cat "$work/counts")"
echo "over white: $(tr '\n' ' ' <"$work/counts")"
stop
mkdir -p "$XDG_CONFIG_HOME/brelvix"
{
  echo "# Brelvix registry, format 1"
  echo '[HKEY_CURRENT_USER\SOFTWARE\Dunmere Corporation\Brelvix]'
  echo '"TransparencyChecker" dword u32 1'
} >"$XDG_CONFIG_HOME/brelvix/registry"
start red.png
wait_for counts_at_least 255,127,127 230,102,102 || fail "no checkerboard: $(cat "$work/counts")"
echo "over the checkerboard: $(tr '\n' ' ' <"$work/counts")"
stop
echo "PASS"
