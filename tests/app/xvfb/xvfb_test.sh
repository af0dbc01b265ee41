#!/usr/bin/env bash
# End to end on a real X server: starts the viewer on a picture under Xvfb,
# checks from a screenshot that the picture is on the screen pixel for pixel,
# checks the window title, closes the window with Esc and expects status 0.
#
# usage: xvfb_test.sh BRELVIX SCREEN_PROBE
set -euo pipefail
brelvix=$1
probe=$2

if [ -z "${INSIDE_XVFB:-}" ]; then
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR
# libxkbcommon-x11 hands strndup a length-bounded string without a
# terminator, which strict string checks of a sanitizer build report; the
# leak check must not count what system libraries keep. Both settings are
# ignored by a build without sanitizers.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")" && pwd)/lsan_suppressions.txt:print_suppressions=0"

mkdir -p "$work/pictures"
picture="$work/pictures/end to end.bmp"
QT_QPA_PLATFORM=offscreen "$probe" write "$picture"

"$brelvix" "$picture" &
pid=$!

fail() {
  echo "FAIL: $*"
  kill "$pid" 2>/dev/null || true
  exit 1
}

# The window shows the picture unscaled (it fits; best fit is off).
shown=""
for _ in $(seq 1 100); do
  if shown=$("$probe" check); then
    break
  fi
  shown=""
  sleep 0.2
done
[ -n "$shown" ] || fail "the picture never appeared: $("$probe" check)"
echo "$shown"

title="$picture - Brelvix"
window=$(xwininfo -root -tree | grep -F "\"$title\"" | awk '{print $1}' | head -n 1)
[ -n "$window" ] || fail "no window titled \"$title\""
echo "window $window titled \"$title\""

# Esc closes the program normally.
xdotool windowfocus --sync "$window" key Escape
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || fail "exit status $status after Esc"
[ -f "$XDG_CONFIG_HOME/brelvix/registry" ] || fail "no settings stored at close"
echo "PASS"
