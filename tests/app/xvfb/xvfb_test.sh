#!/usr/bin/env bash
# End to end on a real X server, with real key events.
#
# usage: xvfb_test.sh BRELVIX SCREEN_PROBE SCENARIO
#   picture      starts the viewer on a picture, checks from a screenshot
#                that the picture is on the screen pixel for pixel, checks the
#                window title, closes the window with Esc and expects status 0
#                and stored settings
#   cancel-open  starts the viewer without a picture, presses Esc in the Open
#                dialog and expects status 0 and no settings stored
set -euo pipefail
brelvix=$1
probe=$2
scenario=$3

if [ -z "${INSIDE_XVFB:-}" ]; then
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

source "$(dirname "$0")/session.sh"
trap 'rm -rf "$work"' EXIT

pid=""
fail() {
  echo "FAIL: $*"
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  exit 1
}

# Prints the id of the first window titled exactly $1, waiting for it.
window_titled() {
  local window=""
  for _ in $(seq 1 100); do
    window=$(xwininfo -root -tree | grep -F "\"$1\"" | awk '{print $1}' | head -n 1)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Presses Esc in the window titled $1 and expects the viewer to end with
# status 0.
escape_ends_normally() {
  local window
  window=$(window_titled "$1") || fail "no window titled \"$1\""
  echo "window $window titled \"$1\""
  xdotool windowfocus --sync "$window" key Escape
  local status=0
  wait "$pid" || status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "exit status $status after Esc"
}

case "$scenario" in
  picture)
    mkdir -p "$work/pictures"
    picture="$work/pictures/end to end.bmp"
    QT_QPA_PLATFORM=offscreen "$probe" write "$picture"
    "$brelvix" "$picture" &
    pid=$!

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

    escape_ends_normally "$picture - Brelvix"
    [ -f "$XDG_CONFIG_HOME/brelvix/registry" ] || fail "no settings stored at close"
    ;;
  cancel-open)
    "$brelvix" &
    pid=$!
    escape_ends_normally "Select an image file to view"
    [ ! -e "$XDG_CONFIG_HOME/brelvix/registry" ] || fail "settings stored after the cancelled dialog"
    ;;
  *)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS"
