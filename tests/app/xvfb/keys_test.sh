#!/usr/bin/env bash
# Every key binding of the command table, pressed on a real keyboard of an X
# server (the keypad's with Num Lock on), each checked by what the window
# title or the screen shows afterwards; and the window placement through a
# frame with a title bar. Runs under Xvfb with a light window manager.
#
# usage: keys_test.sh BRELVIX SCREEN_PROBE SCENARIO [HELD_BRELVIX]
#   keys        the key table, then four quick presses of Right over slow
#               pictures: each press must act, in order; and Esc while the
#               first picture decodes, in HELD_BRELVIX: the program with every
#               decode held until it is cancelled
#   placement   a window stored at the screen's top-left corner comes back
#               with its title bar on the screen and is stored as it was;
#               one stored off every screen, or with its title bar above the
#               screen, comes back onto the screen
#   modern      with the modern zoom: best fit follows the window and a
#               turn, Ctrl+wheel keeps the point under the pointer, keys
#               keep the middle, the wheel, Shift+wheel, the sideways wheel
#               and Up and Down scroll
#   conveniences  with CLIPBOARD_PROBE as the fourth argument: copying the
#               picture and its path read back from the clipboard, the
#               information panel, sort orders, undoing a delete and showing
#               the picture in its folder; with BRELVIX_SHOTS set, a
#               screenshot with the panel is left there to look at
set -euo pipefail
brelvix=$1
probe=$2
scenario=$3
held_brelvix=${4:-}
clipboard_probe=${4:-}

if [ -z "${INSIDE_XVFB:-}" ]; then
  export INSIDE_XVFB=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

source "$(dirname "$0")/session.sh"
pid=""
wm=""
cleanup() {
  [ -z "$pid" ] || kill "$pid" 2>/dev/null || true
  [ -z "$wm" ] || kill "$wm" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  exit 1
}

# A window manager with its default key bindings switched off, so every key
# reaches the viewer.
mkdir -p "$work/openbox"
cat >"$work/openbox/rc.xml" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <keyboard></keyboard>
  <focus><focusNew>yes</focusNew></focus>
  <placement><policy>Smart</policy></placement>
</openbox_config>
EOF
openbox --config-file "$work/openbox/rc.xml" >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 50); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  sleep 0.1
done

store="$XDG_CONFIG_HOME/brelvix/registry"
# Writes the settings store with the given value lines.
write_settings() {
  mkdir -p "$(dirname "$store")"
  {
    echo "# Brelvix registry, format 1"
    echo '[HKEY_CURRENT_USER\SOFTWARE\Dunmere Corporation\Brelvix]'
    printf '%s\n' "$@"
  } >"$store"
}
# The stored number of a dword value.
stored() {
  sed -n "s/^\"$1\" dword u32 \([0-9]*\)$/\1/p" "$store"
}

# Waits up to 10 s for a window titled exactly $1 and prints its id.
window_titled() {
  local window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1 || true)
    if [ -n "$window" ]; then
      echo "$window"
      return 0
    fi
    sleep 0.1
  done
  return 1
}

start() {
  "$brelvix" "$1" &
  pid=$!
  main=$(window_titled "$1 - Brelvix") || fail "no window for $1"
  xdotool windowactivate --sync "$main" >/dev/null 2>&1 || xdotool windowfocus --sync "$main"
  # Settle: the first paint and the layout.
  wait_for look_has "120 80 TL"
}

# Retries the check "$@" for up to 10 s.
wait_for() {
  for _ in $(seq 1 100); do
    if "$@"; then
      return 0
    fi
    sleep 0.1
  done
  return 1
}

title_is() { [ "$(xdotool getwindowname "$main" 2>/dev/null)" = "$pictures/$1 - Brelvix" ]; }
look() { "$probe" look 2>/dev/null || true; }
# The picture shows with size and mark corner "W H CORNER".
look_has() { [ "$(look | cut -d' ' -f1-3)" = "$1" ]; }
picture_top() { look | cut -d' ' -f5; }
ink() { look | awk '{ print $NF }'; }
full_screen() { xdotool getwindowgeometry "$main" | grep -q "Geometry: 1024x768"; }
windowed() { ! full_screen; }
has_ink() { [ "$(ink)" -gt 20 ]; }
no_ink() { [ "$(ink)" -eq 0 ]; }

# Presses $1 (xdotool key names) and waits for the check "${@:2}".
expect() {
  local keys=$1
  shift
  xdotool key --clearmodifiers $keys
  wait_for "$@" || fail "after $keys: $* does not hold (title \"$(xdotool getwindowname "$main")\", screen: $(look))"
  echo "ok  $keys: $*"
}

case "$scenario" in
  keys)
    pictures="$work/pictures"
    mkdir -p "$pictures"
    "$probe" marked "$pictures/p01.bmp"
    for i in $(seq -w 2 30); do
      cp "$pictures/p01.bmp" "$pictures/p$i.bmp"
    done
    cat >"$work/editor" <<EOF
#!/bin/sh
printf '%s' "\$1" > "$work/edited"
EOF
    chmod +x "$work/editor"
    write_settings '"SlideShowDelay" dword f64 0.3' "\"ImageEditorPath\" sz \"$work/editor\""
    xdotool key Num_Lock
    start "$pictures/p05.bmp"

    # Navigation: the title names the picture.
    expect Right title_is p06.bmp
    expect space title_is p07.bmp
    expect KP_6 title_is p08.bmp
    expect Left title_is p07.bmp
    expect ctrl+space title_is p06.bmp
    expect KP_4 title_is p05.bmp
    expect End title_is p30.bmp
    expect Home title_is p01.bmp
    expect KP_1 title_is p30.bmp
    expect KP_7 title_is p01.bmp
    expect Next title_is p21.bmp
    expect KP_3 title_is p30.bmp
    expect Prior title_is p10.bmp
    expect KP_9 title_is p01.bmp

    # Zoom: the picture's size on the screen.
    expect KP_Add look_has "132 88 TL"
    expect KP_Subtract look_has "120 80 TL"
    expect ctrl+KP_Add look_has "240 160 TL"
    expect ctrl+KP_Subtract look_has "120 80 TL"
    expect KP_Multiply eval '[ "$(look | cut -d" " -f1)" -gt 400 ]'
    expect Insert look_has "120 80 TL"
    expect KP_Multiply eval '[ "$(look | cut -d" " -f1)" -gt 400 ]'
    expect KP_0 look_has "120 80 TL"
    # The main keyboard's keys, as on a laptop: + (Shift and =), = and -, with
    # Ctrl too, * and /.
    expect plus look_has "132 88 TL"
    expect minus look_has "120 80 TL"
    expect equal look_has "132 88 TL"
    expect minus look_has "120 80 TL"
    expect ctrl+plus look_has "240 160 TL"
    expect ctrl+minus look_has "120 80 TL"
    expect ctrl+equal look_has "240 160 TL"
    expect ctrl+minus look_has "120 80 TL"
    expect asterisk eval '[ "$(look | cut -d" " -f1)" -gt 400 ]'
    expect Insert look_has "120 80 TL"
    # / turns Autozoom on here and off again: off shows 100 %.
    expect minus look_has "108 72 TL"
    expect slash look_has "120 80 TL"
    expect minus look_has "108 72 TL"
    expect slash look_has "120 80 TL"
    expect minus look_has "108 72 TL"
    # Autozoom on: a reduced picture that fits returns to 100 %.
    expect KP_Divide look_has "120 80 TL"

    # Turns and mirrors: the mark's corner.
    expect ctrl+Right look_has "80 120 TR"
    expect ctrl+Left look_has "120 80 TL"
    expect alt+Left look_has "120 80 TR"
    expect alt+Right look_has "120 80 TL"
    expect alt+Up look_has "120 80 BL"
    expect alt+Down look_has "120 80 TL"

    # Bars: the centred picture moves by half the bar's height.
    top=$(picture_top)
    expect ctrl+t eval '[ "$(picture_top)" -lt '"$top"' ]'
    expect ctrl+t eval '[ "$(picture_top)" -eq '"$top"' ]'
    expect ctrl+s eval '[ "$(picture_top)" -gt '"$top"' ]'
    expect ctrl+s eval '[ "$(picture_top)" -eq '"$top"' ]'

    # Full screen, every way in and out; the information text in it.
    for key in F12 KP_5 ctrl+Return ctrl+KP_Enter alt+Return alt+KP_Enter; do
      expect "$key" full_screen
      expect "$key" windowed
    done
    expect F12 full_screen
    wait_for no_ink || fail "information text before Ctrl+I"
    expect ctrl+i has_ink
    expect ctrl+i no_ink
    # Esc in full screen leaves it (the setting says so by default).
    expect Escape windowed

    # Slide show: the pictures change by themselves, and stop again.
    for key in Return KP_Enter; do
      expect "$key" title_is p02.bmp
      xdotool key "$key"
      sleep 0.5
      shown=$(xdotool getwindowname "$main")
      sleep 1
      [ "$(xdotool getwindowname "$main")" = "$shown" ] || fail "the slide show goes on after $key"
      echo "ok  $key again: the slide show stopped"
      xdotool key Home
      wait_for title_is p01.bmp || fail "Home"
    done

    # The editor gets the picture.
    expect ctrl+e eval '[ "$(cat "$work/edited" 2>/dev/null)" = "$pictures/p01.bmp" ]'

    # Refresh finds a new picture.
    cp "$pictures/p01.bmp" "$pictures/p31.bmp"
    xdotool key ctrl+r
    expect End title_is p31.bmp

    # Open asks for a picture.
    xdotool key ctrl+o
    dialog=$(window_titled "Select an image file to view") || fail "no Open dialog after ctrl+o"
    # On a loaded machine the file name's completion list can take a Return,
    # and typed characters can go astray: while the dialog is still open, the
    # name is typed again over what the field holds.
    dialog_open() { xwininfo -root -tree | grep -qF '"Select an image file to view"'; }
    for attempt in 1 2 3; do
      xdotool windowactivate --sync "$dialog" >/dev/null 2>&1 || true
      sleep 0.5
      xdotool key ctrl+a
      xdotool type --delay 10 "$pictures/p03.bmp"
      sleep 0.5
      xdotool key Return
      wait_for title_is p03.bmp && break
      dialog_open && xdotool key Return && wait_for title_is p03.bmp && break
      dialog_open || break
      echo "the Open dialog is still open after attempt $attempt"
    done
    title_is p03.bmp || fail "after Return in the Open dialog: title \"$(xdotool getwindowname "$main")\""
    echo "ok  Return: title_is p03.bmp"

    # Delete asks, and moves the picture to the trash.
    xdotool key Delete
    question=$(window_titled "Brelvix") || fail "no question after Delete"
    xdotool windowactivate --sync "$question" >/dev/null 2>&1 || true
    expect Return title_is p04.bmp
    [ ! -e "$pictures/p03.bmp" ] || fail "p03.bmp is still there"
    ls "$XDG_DATA_HOME/Trash/files/p03.bmp" >/dev/null || fail "p03.bmp is not in the trash"

    # Autozoom was turned on once: the close stores it. Esc closes.
    xdotool key Escape
    status=0
    wait "$pid" || status=$?
    pid=""
    [ "$status" -eq 0 ] || fail "exit status $status after Esc"
    [ "$(stored ZoomToBestFit)" = 1 ] || fail "Autozoom to Best Fit was not stored"
    echo "ok  Escape closed the window"

    # Four presses of Right 12 ms apart over pictures that take a while to
    # decode: every press acts.
    "$probe" slow "$pictures/slow1.jpg"
    for i in 2 3 4 5 6; do
      cp "$pictures/slow1.jpg" "$pictures/slow$i.jpg"
    done
    rm -f "$store"
    "$brelvix" "$pictures/slow1.jpg" &
    pid=$!
    main=$(window_titled "$pictures/slow1.jpg - Brelvix") || fail "no window for slow1.jpg"
    xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
    sleep 1
    xdotool key --delay 12 Right Right Right Right
    wait_for title_is slow5.jpg || fail "four presses of Right showed $(xdotool getwindowname "$main")"
    sleep 2
    title_is slow5.jpg || fail "four presses of Right went on to $(xdotool getwindowname "$main")"
    echo "ok  four quick presses of Right advanced four pictures"
    xdotool key Escape
    wait "$pid" || fail "exit status $? after Esc"
    pid=""

    # Opened on a picture whose decode is held: the window is there
    # meanwhile, and Esc ends the program at once.
    [ -n "$held_brelvix" ] || fail "no program with held decodes given"
    "$probe" write "$pictures/held.bmp"
    "$held_brelvix" "$pictures/held.bmp" &
    pid=$!
    main=$(window_titled "Brelvix") || fail "no window while the first picture decodes"
    xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
    [ "$(xdotool getwindowname "$main")" = Brelvix ] || fail "the held picture was shown"
    start=$(date +%s%N)
    xdotool key Escape
    status=0
    wait "$pid" || status=$?
    pid=""
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$status" -eq 0 ] || fail "exit status $status after Esc during the decode"
    [ "$took" -lt 1000 ] || fail "the program ended $took ms after Esc"
    echo "ok  Esc during a long decode ended the program in $took ms"
    ;;
  placement)
    pictures="$work/pictures"
    mkdir -p "$pictures"
    "$probe" marked "$pictures/p.bmp"
    # The frame's top-left corner on the screen: the inside's, less the
    # frame's left and top edges as the window manager announces them.
    frame_origin() {
      local x y extents
      x=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left X: *//p')
      y=$(xwininfo -id "$main" | sed -n 's/.*Absolute upper-left Y: *//p')
      extents=$(xprop -id "$main" _NET_FRAME_EXTENTS | sed -n 's/.*= *//p')
      IFS=', ' read -r left _ top _ <<<"$extents"
      echo "$((x - left)) $((y - top)) $top"
    }
    # The last was stored under Wayland, at the decoration's margins.
    for stored in "0 0 600 400" "5000 4000 5600 4400" "-3 -30 597 370"; do
      read -r l t r b <<<"$stored"
      write_settings "\"WindowLeft\" dword u32 $((l & 0xFFFFFFFF))" "\"WindowTop\" dword u32 $((t & 0xFFFFFFFF))" \
        "\"WindowRight\" dword u32 $r" "\"WindowBottom\" dword u32 $b" '"WindowShow" dword u32 1'
      start "$pictures/p.bmp"
      sleep 1
      read -r fx fy titlebar <<<"$(frame_origin)"
      [ "$titlebar" -gt 0 ] || fail "the window manager gave no title bar"
      if [ "$l" -le 0 ]; then
        [ "$fx $fy" = "0 0" ] || fail "stored at $l,$t, the frame came back at $fx,$fy"
      else
        [ "$fx" -ge 0 ] && [ "$fy" -ge 0 ] && [ $((fx + 600)) -le 1024 ] && [ $((fy + 400)) -le 768 ] ||
          fail "stored off the screen, the frame came back at $fx,$fy"
      fi
      echo "ok  stored at $l,$t: the frame shows at $fx,$fy, its title bar on the screen"
      xdotool key Escape
      wait "$pid" || fail "exit status $? after Esc"
      pid=""
      kept="$(stored WindowLeft) $(stored WindowTop) $(stored WindowRight) $(stored WindowBottom)"
      [ "$kept" = "$fx $fy $((fx + 600)) $((fy + 400))" ] || fail "the frame at $fx,$fy 600x400 was stored as $kept"
      echo "ok  stored again as $kept"
    done

    # The command line as a desktop launcher gives it: the first picture
    # opens, further names are ignored with one line on standard error, and
    # an unknown option prints the usage and opens nothing.
    "$probe" marked "$pictures/q.bmp"
    "$brelvix" "$pictures/q.bmp" "$pictures/p.bmp" 2>"$work/stderr" &
    pid=$!
    main=$(window_titled "$pictures/q.bmp - Brelvix") || fail "two names: no window for the first"
    grep -qx "brelvix: opens one picture at a time; ignored: $pictures/p.bmp" "$work/stderr" ||
      fail "two names: standard error says $(cat "$work/stderr")"
    xdotool windowactivate --sync "$main" >/dev/null 2>&1 || true
    xdotool key Escape
    wait "$pid" || fail "exit status $? after Esc"
    pid=""
    echo "ok  two names: the first opens, the second is named on standard error"
    status=0
    "$brelvix" --bogus "$pictures/q.bmp" 2>"$work/stderr" || status=$?
    [ "$status" -eq 2 ] && head -n 1 "$work/stderr" | grep -qx "brelvix: unknown option --bogus" ||
      fail "--bogus: exit status $status, standard error $(head -n 1 "$work/stderr")"
    echo "ok  an unknown option: usage and exit status 2"
    ;;
  modern)
    pictures="$work/pictures"
    mkdir -p "$pictures"
    "$probe" spot "$pictures/spot.bmp"
    write_settings '"ModernZoom" dword u32 1' '"ZoomToBestFit" dword u32 1'
    "$brelvix" "$pictures/spot.bmp" &
    pid=$!
    main=$(window_titled "$pictures/spot.bmp - Brelvix") || fail "no window for spot.bmp"
    xdotool windowactivate --sync "$main" >/dev/null 2>&1 || xdotool windowfocus --sync "$main"

    mark() { "$probe" mark 2>/dev/null || true; }
    # The whole picture shows, as wide as $1 to $2 of its height (4:3 or 3:4).
    whole() {
      local w h
      read -r w h _ <<<"$(look)"
      [ -n "$w" ] && [ "$w" != none ] && [ $((w * $2 - h * $1)) -le $((2 * $2)) ] &&
        [ $((h * $1 - w * $2)) -le $((2 * $1)) ]
    }
    width() { look | cut -d' ' -f1; }
    # The mark's centre is within 3 pixels of $1 $2.
    mark_at() {
      local x y w h
      read -r x y w h <<<"$(mark)"
      [ -n "$h" ] && [ $((2 * x + w - 2 * $1)) -le 6 ] && [ $((2 * $1 - 2 * x - w)) -le 6 ] &&
        [ $((2 * y + h - 2 * $2)) -le 6 ] && [ $((2 * $2 - 2 * y - h)) -le 6 ]
    }
    mark_centre() {
      local x y w h
      read -r x y w h <<<"$(mark)"
      echo "$((x + w / 2)) $((y + h / 2)) $w"
    }

    # Best fit, and it follows the window and a turn.
    wait_for whole 4 3 || fail "the picture is not fitted: $(look)"
    fitted=$(width)
    echo "ok  fitted at $(look)"
    xdotool windowsize "$main" 600 500
    wait_for eval '[ "$(width)" -lt '"$fitted"' ] && whole 4 3' || fail "no fit after a resize: $(look)"
    echo "ok  a smaller window fits again: $(look)"
    expect ctrl+Right eval 'whole 3 4 && [ "$(look | cut -d" " -f3)" = BL ]'
    expect ctrl+Left eval 'whole 4 3 && [ "$(look | cut -d" " -f3)" = BR ]'

    # Ctrl+wheel zooms in with the point under the pointer kept.
    read -r cx cy size <<<"$(mark_centre)"
    xdotool mousemove "$cx" "$cy"
    sleep 0.3
    for notch in 1 2 3; do
      xdotool keydown ctrl click 4 keyup ctrl
      wait_for eval '[ "$(mark_centre | cut -d" " -f3)" -gt '"$size"' ]' || fail "Ctrl+wheel did not zoom: $(mark)"
      sleep 0.3
      read -r _ _ size <<<"$(mark_centre)"
      mark_at "$cx" "$cy" || fail "after notch $notch the mark is at $(mark), the pointer at $cx,$cy"
    done
    echo "ok  Ctrl+wheel zoomed in three notches around the pointer: $(mark)"

    # The wheel, Shift+wheel, the sideways wheel and Up and Down scroll.
    # A change of $1 pixels is along the direction $2: more than 10 pixels
    # that way, or none (give or take one) for 0.
    along() {
      if [ "$2" -eq 0 ]; then
        [ "$1" -ge -1 ] && [ "$1" -le 1 ]
      else
        [ $(($1 * $2)) -gt 10 ]
      fi
    }
    # The mark moved from the centre $1 along $2 sideways and $3 down.
    moved() {
      local bx by nx ny
      read -r bx by _ <<<"$1"
      read -r nx ny _ <<<"$(mark_centre)"
      along $((nx - bx)) "$2" && along $((ny - by)) "$3"
    }
    scroll() {
      local before
      before=$(mark_centre)
      xdotool $1
      wait_for moved "$before" "$2" "$3" || fail "after $1 the mark went from $before to $(mark_centre)"
      echo "ok  $1: the mark went from $before to $(mark_centre)"
    }
    scroll "click 5" 0 -1
    scroll "click 4" 0 1
    scroll "keydown shift click 5 keyup shift" -1 0
    scroll "keydown shift click 4 keyup shift" 1 0
    scroll "click 7" -1 0
    scroll "click 6" 1 0
    scroll "key Down" 0 -1
    scroll "key Up" 0 1

    # The main keyboard's + zooms in around the middle of the view, which
    # the picture fills now.
    read -r left top <<<"$(look | cut -d' ' -f4,5)"
    read -r vw vh <<<"$(look | cut -d' ' -f1,2)"
    mx=$((left + vw / 2))
    my=$((top + vh / 2))
    read -r bx by size <<<"$(mark_centre)"
    xdotool key plus
    wait_for eval '[ "$(mark_centre | cut -d" " -f3)" -gt '"$size"' ]' || fail "+ did not zoom: $(mark)"
    sleep 0.3
    read -r _ _ after <<<"$(mark_centre)"
    # Every distance from the middle grows as the mark does.
    ex=$((mx + (bx - mx) * after / size))
    ey=$((my + (by - my) * after / size))
    mark_at "$ex" "$ey" || fail "after + the mark is at $(mark), expected around $ex,$ey (middle $mx,$my)"
    echo "ok  + zoomed in around the middle $mx,$my: the mark went from $bx,$by to $(mark_centre)"

    xdotool key Escape
    wait "$pid" || fail "exit status $? after Esc"
    pid=""
    [ "$(stored ModernZoom)" = 1 ] || fail "the modern zoom was not stored"
    ;;
  conveniences)
    [ -n "$clipboard_probe" ] || fail "no clipboard probe given"
    pictures="$work/pictures"
    mkdir -p "$pictures" "$work/bin"
    "$probe" marked "$pictures/p1.bmp"
    for i in 2 3 4; do
      cp "$pictures/p1.bmp" "$pictures/p$i.bmp"
    done
    # Last changed in the order p3, p1, p4, p2; BMP files record no date
    # taken, so that is their order by date taken as well.
    for dated in "p3 2020-01-01" "p1 2020-02-01" "p4 2020-03-01" "p2 2020-04-01"; do
      read -r name day <<<"$dated"
      touch -d "$day 12:00" "$pictures/$name.bmp"
    done
    # Without a session bus no file manager can be asked: the folder is
    # opened through the desktop's opener, here one that notes what it got.
    unset DBUS_SESSION_BUS_ADDRESS XDG_CURRENT_DESKTOP
    printf '#!/bin/sh\nprintf "%%s" "$1" > "%s/opened"\n' "$work" >"$work/bin/xdg-open"
    chmod +x "$work/bin/xdg-open"
    export PATH="$work/bin:$PATH"
    start "$pictures/p1.bmp"

    # The picture goes on the clipboard as shown (turned), at full size; the
    # path as text and as a file address.
    clipboard_has() { [ "$("$clipboard_probe" image 2>/dev/null)" = "$1" ]; }
    clipboard_text_is() { [ "$("$clipboard_probe" text 2>/dev/null)" = "$1" ]; }
    expect ctrl+Right look_has "80 120 TR"
    expect ctrl+c clipboard_has "80 120 TR"
    expect ctrl+Left look_has "120 80 TL"
    expect ctrl+shift+c clipboard_text_is "$pictures/p1.bmp
file://$pictures/p1.bmp"
    expect ctrl+c clipboard_has "120 80 TL"

    # The panel takes the right of the window: the centred picture moves left.
    left=$(look | cut -d' ' -f4)
    expect i eval '[ "$(look | cut -d" " -f4)" -lt '"$left"' ]'
    [ -z "${BRELVIX_SHOTS:-}" ] || "$clipboard_probe" shot "$BRELVIX_SHOTS/information-panel.png"

    # Sort orders: by date taken, then turned round.
    xdotool key ctrl+2
    expect Right title_is p4.bmp
    expect End title_is p2.bmp
    xdotool key ctrl+shift+r
    expect Home title_is p2.bmp
    expect End title_is p3.bmp
    xdotool key ctrl+1
    expect Home title_is p4.bmp
    xdotool key ctrl+2
    expect Home title_is p2.bmp

    # Delete, then undo: the picture is back in its folder and on screen.
    xdotool key Delete
    question=$(window_titled "Brelvix") || fail "no question after Delete"
    xdotool windowactivate --sync "$question" >/dev/null 2>&1 || true
    expect Return title_is p4.bmp
    [ ! -e "$pictures/p2.bmp" ] || fail "p2.bmp is still there"
    expect ctrl+z title_is p2.bmp
    [ -e "$pictures/p2.bmp" ] || fail "p2.bmp is not back"
    [ -z "$(ls -A "$XDG_DATA_HOME/Trash/files")" ] || fail "the trash still holds $(ls "$XDG_DATA_HOME/Trash/files")"
    expect Right title_is p4.bmp

    # Show in folder, without a file manager: the folder opens.
    expect ctrl+shift+f eval '[ "$(cat "$work/opened" 2>/dev/null)" = "file://$pictures" ]'

    # The panel is hidden again; the order, the reverse and the panel are stored.
    expect i eval '[ "$(look | cut -d" " -f4)" -eq '"$left"' ]'
    xdotool key i
    sleep 0.5
    # The window still owns the clipboard, and no clipboard manager runs to
    # take it over: closing waits for none.
    clipboard_has "120 80 TL" || fail "the clipboard lost the picture"
    start=$(date +%s%N)
    xdotool key Escape
    wait "$pid" || fail "exit status $? after Esc"
    pid=""
    took=$((($(date +%s%N) - start) / 1000000))
    [ "$took" -lt 1000 ] || fail "the program ended $took ms after Esc"
    echo "ok  Esc while owning the clipboard ended the program in $took ms"
    kept="$(stored SortOrder) $(stored SortReverse) $(stored ShowInfoPanel)"
    [ "$kept" = "1 1 1" ] || fail "stored sort order, reverse and panel: $kept"
    echo "ok  stored sort order, reverse and panel: $kept"
    ;;
  *)
    fail "unknown scenario $scenario"
    ;;
esac
echo "PASS"
