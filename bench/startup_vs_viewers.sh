#!/usr/bin/env bash
# Start-up, next-picture and memory benchmark of Brelvix against feh, nsxiv
# and qimgv, all measured in the same run under Xvfb (1920x1080x24, no window
# manager).
#
# For a 24-megapixel JPEG and a small PNG (each folder holds two pictures of
# distinct colours) every viewer is started on the first picture; the probe
# measures the time from process start until the picture's colour is on the
# screen, then presses the viewer's next-picture key over it and measures the
# time until the second picture's colour is there, then its previous-picture
# key and the time until the first picture is back, and reads the peak
# resident memory (VmHWM). Each figure is the median of RUNS runs (default 5).
#
# Then each viewer is started on a folder of 24 photos of 6000 x 4000 and its
# next-picture key is held down for two seconds (auto-repeat at 25 a second):
# the figure is how many different pictures showed a second (median), and
# how many more showed in the second after the key was let go (the largest
# of the runs; above 1 is a backlog of steps).
#
# Brelvix runs with its "Autozoom to best fit" setting on (ZoomToBestFit,
# written into its settings store before every run), so that the large
# picture shows whole, as the other viewers show it by default.
#
# Ratios: start-up against the fastest of the three others, next and
# previous picture against qimgv (which decodes ahead both ways), memory
# against nsxiv; below 1 means Brelvix is faster or smaller.
#
# BASELINE_BRELVIX=/path/to/brelvix adds that build of Brelvix as one more
# viewer ("baseline"), with the same settings, to compare two builds in one run.
#
# usage: bench/startup_vs_viewers.sh [RUNS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}

if [ -z "${INSIDE_XVFB:-}" ]; then
  # Bench-only packages: the viewers compared against, and xdotool.
  missing=()
  for package in feh nsxiv qimgv xdotool xvfb xauth; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
  fi
  "$root"/scripts/deps.sh
  cmake -S "$root" -B "$root"/build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRELVIX_TESTS=OFF -DBRELVIX_BENCH=ON >/dev/null
  cmake --build "$root"/build/release -j2 --target brelvix viewer_probe >/dev/null
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" "$0" "$@"
fi

probe="$root/build/release/bench/viewer_probe"
brelvix="$root/build/release/app/brelvix"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb HOME="$work"
"$probe" pictures "$work/pictures"

# viewer name, next-picture key, previous-picture key, what it is given
# (folder: the first picture, and it lists the folder itself; files: both
# pictures, as feh and nsxiv take their list from the command line), command
viewers=(
  "brelvix|Right|Left|folder|$brelvix"
)
if [ -n "${BASELINE_BRELVIX:-}" ]; then
  viewers+=("baseline|Right|Left|folder|$BASELINE_BRELVIX")
fi
viewers+=(
  "feh|Right|Left|files|feh"
  "nsxiv|n|p|files|nsxiv"
  "qimgv|Right|Left|folder|qimgv"
)

# Brelvix's settings store (platform/registry_store.h) with best fit on and
# everything else at its default.
best_fit_settings() {
  mkdir -p "$XDG_CONFIG_HOME/brelvix"
  printf '%s\n' '# Brelvix registry, format 1' \
    '[HKEY_CURRENT_USER\SOFTWARE\Dunmere Corporation\Brelvix]' \
    '"ZoomToBestFit" dword u32 1' >"$XDG_CONFIG_HOME/brelvix/registry"
}

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

declare -A result
for set in large/1.jpg small/1.png; do
  second=${set/1./2.}
  for entry in "${viewers[@]}"; do
    IFS='|' read -r name key back given command <<<"$entry"
    pictures=("$work/pictures/$set")
    [ "$given" = files ] && pictures+=("$work/pictures/$second")
    : >"$work/samples"
    for _ in $(seq 1 "$runs"); do
      # A fresh settings store each time: every viewer starts as on first use.
      rm -rf "$work/config" "$HOME/.config"
      case $name in
        brelvix | baseline) best_fit_settings ;;
      esac
      line=$("$probe" measure "$key" "$back" -- $command "${pictures[@]}" 2>"$work/error") ||
        { echo "$name on $set failed: $(cat "$work/error")" >&2; continue; }
      echo "$line" >>"$work/samples"
      sleep 0.3
    done
    for field in start_ms next_ms prev_ms peak_kb; do
      result[$set,$name,$field]=$(sed -n "s/.*$field=\([0-9.-]*\).*/\1/p" "$work/samples" | median)
    done
    spread=$(sed -n "s/.*start_ms=\([0-9.]*\).*/\1/p" "$work/samples" | sort -g | awk 'NR == 1 { lo = $1 } { hi = $1 } END { printf "%s-%s", lo, hi }')
    printf '%-12s %-8s start %8s ms (%s)   next %8s ms   previous %8s ms   peak %8s kB\n' "$set" "$name" \
      "${result[$set,$name,start_ms]}" "$spread" "${result[$set,$name,next_ms]}" "${result[$set,$name,prev_ms]}" \
      "${result[$set,$name,peak_kb]}"
  done
done

for entry in "${viewers[@]}"; do
  IFS='|' read -r name key back given command <<<"$entry"
  pictures=("$work/pictures/held/01.jpg")
  [ "$given" = files ] && pictures=("$work"/pictures/held/*.jpg)
  : >"$work/samples"
  for _ in $(seq 1 "$runs"); do
    rm -rf "$work/config" "$HOME/.config"
    case $name in
      brelvix | baseline) best_fit_settings ;;
    esac
    line=$("$probe" held "$key" -- $command "${pictures[@]}" 2>"$work/error") ||
      { echo "$name held failed: $(cat "$work/error")" >&2; continue; }
    echo "$line" >>"$work/samples"
    sleep 0.3
  done
  result[held,$name]=$(sed -n "s/.*held_per_s=\([0-9.]*\).*/\1/p" "$work/samples" | median)
  after=$(sed -n "s/.*after_release=\([0-9]*\).*/\1/p" "$work/samples" | sort -n | tail -1)
  printf '%-12s %-8s %6s pictures a second while the key is held, at most %s more after it is let go\n' \
    "held Right" "$name" "${result[held,$name]}" "$after"
done

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }'; }
smallest() { printf '%s\n' "$@" | grep -v '^$' | sort -g | head -1; }
echo
for who in brelvix ${BASELINE_BRELVIX:+baseline}; do
  for set in large/1.jpg small/1.png; do
    fastest=$(smallest "${result[$set,feh,start_ms]}" "${result[$set,nsxiv,start_ms]}" "${result[$set,qimgv,start_ms]}")
    echo "$who $set: start-up / fastest other $(ratio "${result[$set,$who,start_ms]}" "$fastest")" \
      " next / qimgv $(ratio "${result[$set,$who,next_ms]}" "${result[$set,qimgv,next_ms]}")" \
      " previous / qimgv $(ratio "${result[$set,$who,prev_ms]}" "${result[$set,qimgv,prev_ms]}")" \
      " peak memory / nsxiv $(ratio "${result[$set,$who,peak_kb]}" "${result[$set,nsxiv,peak_kb]}")"
  done
done
