#!/usr/bin/env bash
# Playing moving pictures on a real X server (Xvfb): a 640 x 480 GIF and a
# 300-frame 1920 x 1080 GIF, both at 10 frames a second, each watched for
# SECONDS (default 10) while it plays. For each it prints the share of the
# frames due that appeared on time (within 25 ms of the schedule the first
# change starts; aim: all of them), the CPU time the viewer used against
# one core over the same time (aim: at most 0.10), and its peak resident
# memory (VmHWM) against the peak of the same viewer showing a 1920 x 1080
# still picture, measured in the same run (aim: at most 1.5). The CPU time
# is also given against composing the same frames alone, without a screen
# (PxAnimation, measured in the same run): what playing costs beyond the
# decoding, which no player avoids.
#
# usage: bench/animation.sh [SECONDS]
#   BRELVIX_BUILD=DIR uses the brelvix and bench/animation_probe already
#   built in DIR instead of building a Release tree in build/release.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-10}

if [ -z "${INSIDE_XVFB:-}" ]; then
  if [ -z "${BRELVIX_BUILD:-}" ]; then
    "$root"/scripts/deps.sh
    cmake -S "$root" -B "$root"/build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF \
      -DBRELVIX_BENCH=ON >/dev/null
    cmake --build "$root"/build/release -j2 --target brelvix animation_probe_bench >/dev/null
    export BRELVIX_BUILD="$root"/build/release
  fi
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

brelvix="$BRELVIX_BUILD/app/brelvix"
probe="$BRELVIX_BUILD/bench/animation_probe"
work=$(mktemp -d)
pid=""
trap '[ -z "$pid" ] || kill "$pid" 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR

mkdir "$work/pictures"
"$probe" write "$work/pictures"
# Each picture alone in its folder: no neighbour is decoded ahead beside it.
for name in small.gif large.gif still.png; do
  mkdir "$work/${name%.*}"
  mv "$work/pictures/$name" "$work/${name%.*}/$name"
done

ticks=$(getconf CLK_TCK)
# utime + stime of the viewer, in clock ticks.
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$pid/stat"; }
peak_kb() { awk '/^VmHWM:/ { print $2 }' "/proc/$pid/status"; }

open_picture() {
  "$brelvix" "$1" &
  pid=$!
  for _ in $(seq 1 100); do
    if xwininfo -root -tree | grep -qF "$(basename "$1") - Brelvix\""; then
      # Opened, and the first frames composed.
      sleep 1
      return 0
    fi
    sleep 0.2
  done
  echo "no window for $1"
  exit 1
}

close_picture() {
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
}

# Sets cpu (share of one core) and peak (kB) for $1 over $seconds, and, for
# a moving picture, schedule (the probe's line).
measure() {
  open_picture "$1"
  local before
  before=$(cpu_ticks)
  if [ "$2" = moving ]; then
    schedule=$("$probe" watch $((seconds * 1000)))
  else
    sleep "$seconds"
  fi
  used=$(awk -v used=$(($(cpu_ticks) - before)) -v ticks="$ticks" 'BEGIN { printf "%.3f", used / ticks }')
  cpu=$(awk -v used="$used" -v seconds="$seconds" 'BEGIN { printf "%.3f", used / seconds }')
  peak=$(peak_kb)
  close_picture
}

measure "$work/still/still.png" still
still_peak=$peak
echo "still 1920 x 1080 PNG: cpu=$cpu of one core, peak=$((still_peak / 1024)) MB (the reference)"
for name in small large; do
  measure "$work/$name/$name.gif" moving
  share=$(echo "$schedule" | sed -n 's/.*share=\([0-9.]*\).*/\1/p')
  ratio=$(awk -v a="$peak" -v b="$still_peak" 'BEGIN { printf "%.2f", a / b }')
  # The frames due in the same time, composed alone.
  decode=$("$probe" decode "$work/$name/$name.gif" $((seconds * 10)) | sed -n 's/decode_cpu_s=\([0-9.]*\).*/\1/p')
  over=$(awk -v a="$used" -v b="$decode" 'BEGIN { printf "%.2f", a / b }')
  echo "$name.gif over $seconds s: $schedule"
  echo "  frames on time: $share (aim 1.0); cpu: $cpu of one core (aim <= 0.10);" \
    "peak: $((peak / 1024)) MB = $ratio x the still's (aim <= 1.5)"
  echo "  cpu: ${used} s playing = $over x ${decode} s composing the same frames alone"
done
