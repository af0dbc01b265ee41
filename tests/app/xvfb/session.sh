# Sourced by the Xvfb tests once they run under xvfb-run: a private home and
# runtime folder in $work for the viewer, the X platform, and sanitizer
# settings. libxkbcommon-x11 hands strndup a length-bounded string without a
# terminator, which strict string checks of a sanitizer build report; the
# leak check must not count what system libraries keep. Both settings are
# ignored by a build without sanitizers.
work=$(mktemp -d)
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export QT_QPA_PLATFORM=xcb
unset QT_SCALE_FACTOR
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/lsan_suppressions.txt:print_suppressions=0"
