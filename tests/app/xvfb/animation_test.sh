#!/usr/bin/env bash
# Moving pictures on a real X server, watched from the screen.
#
# usage: animation_test.sh BRELVIX ANIMATION_WRITE ANIMATION_PROBE
#
# One moving picture of each format (GIF, PNG, WebP, JPEG XL, AVIF) with
# four frames of one colour each, lasting 300, 600, 300 and 600 ms, played
# for ever. For each, the colour at the middle of the picture must change in
# frame order, each frame lasting its own time; P must hold the frame on
# screen, full stop and comma step one frame forward and back, P plays on;
# with PlayAnimations off the first frame stays. With ANIMATION_SHOTS set to
# a folder, screen shots taken while playing are kept there.
set -euo pipefail
brelvix=$1
writer=$2
probe=$3

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

# A frame lasts its stored time within this many milliseconds (the screen is
# sampled every few milliseconds, and the machine may be busy).
tolerance=120

# Prints the id of the window whose title ends in $1, waiting for it.
window_titled() {
  local window=""
  for _ in $(seq 1 100); do
    window=$(xwininfo -root -tree | grep -F "$1\"" | awk '{print $1}' | head -n 1)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.2
  done
  return 1
}

start() {
  "$brelvix" "$work/pictures/moving.$1" &
  pid=$!
  window=$(window_titled "moving.$1 - Brelvix") || fail "no window for moving.$1"
}

stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

# The runs of one colour seen in $1 ms: "LETTER START LENGTH" lines.
watch() {
  "$probe" runs "$@" || fail "the probe found no picture"
}

# Checks the runs on stdin: the first and last are cut by the watch; every
# run between follows the one before in frame order and lasts its frame's
# time. Prints the letters.
check_playing() {
  awk -v tolerance="$tolerance" '
    { letter[NR] = $1; length_ms[NR] = $3 }
    END {
      lengths["A"] = 300; lengths["B"] = 600; lengths["C"] = 300; lengths["D"] = 600
      following["A"] = "B"; following["B"] = "C"; following["C"] = "D"; following["D"] = "A"
      if (NR < 7) { print "only " NR " runs"; exit 1 }
      for (i = 1; i <= NR; ++i) {
        if (!(letter[i] in lengths)) { print "run " i " is not a frame: " letter[i]; exit 1 }
        if (i > 1 && letter[i] != following[letter[i - 1]]) {
          print "run " i ": " letter[i] " after " letter[i - 1]; exit 1
        }
        if (i > 1 && i < NR) {
          off = length_ms[i] - lengths[letter[i]]
          if (off > tolerance || -off > tolerance) {
            print "run " i ": " letter[i] " lasted " length_ms[i] " ms"; exit 1
          }
        }
        printf "%s", letter[i]
      }
      print ""
    }'
}

# The one letter of runs that must show a single frame, or fails.
still_letter() {
  awk 'END { if (NR != 1) { print "changed " NR - 1 " times"; exit 1 } print $1 }'
}

next_of() { echo "$1" | tr ABCD BCDA; }
previous_of() { echo "$1" | tr ABCD DABC; }

mkdir -p "$work/pictures" "$work/shots"
shots=${ANIMATION_SHOTS:-$work/shots}
mkdir -p "$shots"
"$writer" "$work/pictures" || fail "cannot write the pictures"

for format in gif png webp jxl avif; do
  start "$format"
  mkdir -p "$shots/$format"
  runs=$(watch 3200 "$shots/$format")
  order=$(echo "$runs" | check_playing) || fail "$format: $order; runs: $(echo $runs)"
  echo "$format plays $order: $(echo "$runs" | awk '{printf "%s%s %d", sep, $1, $3; sep = ", "}')"

  # Paused, the frame stays; the steps move one frame either way.
  xdotool windowfocus --sync "$window" key p
  held=$(watch 1000 | still_letter) || fail "$format: paused, the picture $held"
  xdotool key period
  stepped=$(watch 400 | still_letter) || fail "$format: after a step, the picture $stepped"
  [ "$stepped" = "$(next_of "$held")" ] || fail "$format: full stop went from $held to $stepped"
  xdotool key comma comma
  back=$(watch 400 | still_letter) || fail "$format: after two steps back, the picture $back"
  [ "$back" = "$(previous_of "$held")" ] || fail "$format: two commas went from $stepped to $back"
  xdotool key p
  resumed=$(watch 2000 | wc -l)
  [ "$resumed" -ge 3 ] || fail "$format: P did not play on ($resumed runs in 2 s)"
  echo "$format pauses on $held, steps to $stepped and back to $back, plays on"
  stop
done

# Playing turned off: the first frame, as any picture shows it.
mkdir -p "$XDG_CONFIG_HOME/brelvix"
cat >"$XDG_CONFIG_HOME/brelvix/registry" <<'EOF'
[HKEY_CURRENT_USER\SOFTWARE\Dunmere Corporation\Brelvix]
"PlayAnimations" dword u32 0
EOF
for format in gif png webp jxl avif; do
  start "$format"
  first=$(watch 1500 | still_letter) || fail "$format with playing off: the picture $first"
  [ "$first" = A ] || fail "$format with playing off shows frame $first"
  stop
done
echo "with playing off every format shows its first frame only"
echo "PASS"
