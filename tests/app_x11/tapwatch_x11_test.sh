#!/usr/bin/env bash
# The tapwatch program on a private X server:
#   1. its window appears with its title; a screenshot goes to the build folder;
#   2. without a compositing manager, releasing the slider brings up "Failed";
#   3. with one, releasing the slider after a drag or a click on its track sets
#      _NET_WM_WINDOW_OPACITY to the slider's value, and nothing else does;
#   4. under a window manager, Always on top sets and clears
#      _NET_WM_STATE_ABOVE and leaves the window where it was; and the
#      keyboard comes back to the window after every dialog: Ctrl+S after a
#      file opened through the Open dialog, Ctrl+O after the Save dialog and
#      after a save's progress and message, and Enter opens nothing;
#   5. under it too, the window maximises, its packet list takes the screen's
#      new room, and a screenshot of it has the screen's size;
#   6. as root, `tcpdump -U -w - -i lo ... | tapwatch -`: the stream's rows are
#      in before tcpdump ends (closing asks about them), Stop ends the stream,
#      No keeps the window and Yes closes it.
# Usage: tapwatch_x11_test.sh TAPWATCH X11_SELECTION_OWNER OUTPUT_DIR WINDOW_PROBE TAPWATCH_GEN
# Exit 77 (skipped) when a tool is missing.
set -u

app=$1
owner=$2
out=$3
probe=$4
gen=$5

for tool in Xvfb xdotool xprop xwd convert xcompmgr openbox; do
  if ! command -v "$tool" > /dev/null; then
    echo "SKIP: $tool is not installed (scripts/build.sh installs it)"
    exit 77
  fi
done

tmp=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2> /dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2> /dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# wait_for SECONDS COMMAND...: polls COMMAND every 50 ms until it succeeds.
wait_for() {
  local tries=$(($1 * 20))
  shift
  while ((tries-- > 0)); do
    "$@" > /dev/null 2>&1 && return 0
    sleep 0.05
  done
  return 1
}

# The X server picks a free display itself and tells us which. It must not
# reset when its last client leaves, or the next client cannot connect.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3> "$tmp/display" 2> "$tmp/xvfb.log" &
pids+=($!)
wait_for 10 test -s "$tmp/display" || {
  cat "$tmp/xvfb.log"
  echo "FAIL: Xvfb did not start"
  exit 1
}
export DISPLAY=":$(head -n 1 "$tmp/display")"
export QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 reads past a string's end in a way strict_string_checks
# reports in sanitizer builds: every Qt program here runs with them relaxed.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0"
echo "display $DISPLAY"

# Client coordinates of the main window's controls at its first size, as the
# same window lays them out on this server with its fonts.
"$probe" controls > "$tmp/controls" 2> "$tmp/probe.log" || {
  cat "$tmp/probe.log"
  echo "FAIL: the window probe could not lay out the window"
  exit 1
}
read -r _ slider_x slider_y slider_w slider_h < <(grep '^slider ' "$tmp/controls")
read -r _ ontop_x ontop_y ontop_w ontop_h < <(grep '^ontop ' "$tmp/controls")
echo "slider at $slider_x,$slider_y ${slider_w}x$slider_h; Always on top at $ontop_x,$ontop_y"
slider_mid_y=$((slider_y + slider_h / 2))
slider_left=$((slider_x + 5))            # the thumb at the slider's minimum
slider_right=$((slider_x + slider_w - 5)) # the thumb at its maximum
ontop_x=$((ontop_x + ontop_w / 2)) ontop_y=$((ontop_y + ontop_h / 2))
read -r _ capture_x capture_y capture_w capture_h < <(grep '^capture ' "$tmp/controls")
capture_x=$((capture_x + capture_w / 2)) capture_y=$((capture_y + capture_h / 2))

app_pid=""
win=""
start_app() {
  # libxkbcommon-x11 reads the server's atom names with strndup, which a
  # sanitizer build's strict string checks take for an overflow; the program's
  # own code keeps every other check.
  "$app" > "$tmp/app.log" 2>&1 &
  app_pid=$!
  pids+=("$app_pid")
  if ! wait_for 30 xdotool search --onlyvisible --name '^Tapwatch v2\.0$'; then
    cat "$tmp/app.log"
    fail "the window \"Tapwatch v2.0\" did not appear"
    return 1
  fi
  win=$(xdotool search --onlyvisible --name '^Tapwatch v2\.0$' | head -n 1)
}
stop_app() {
  kill "$app_pid" 2> /dev/null
  wait "$app_pid" 2> /dev/null
  app_pid=""
}

# drag X1 X2: presses the left button at X1 on the slider's line, moves to X2, releases.
drag() {
  xdotool mousemove --window "$win" "$1" "$slider_mid_y" mousedown 1
  xdotool mousemove --window "$win" $((($1 + $2) / 2)) "$slider_mid_y"
  xdotool mousemove --window "$win" "$2" "$slider_mid_y" mouseup 1
}
click_at() {
  xdotool mousemove --window "$win" "$1" "$2" click 1
}
opacity() {
  xprop -id "$win" _NET_WM_WINDOW_OPACITY | sed -n 's/.*= *\([0-9]*\)$/\1/p'
}
opacity_is() { [ "$(opacity)" = "$1" ]; }
# Qt writes round(alpha / 255 * 0xffffffff), which is alpha * 0x01010101.
alpha_value() { echo $(($1 * 16843009)); }

# 1. The window and a screenshot, once it is painted (more than a few colours).
shot="$out/tapwatch-window.png"
painted() {
  xwd -root -silent | convert xwd:- png:"$shot" && [ "$(convert "$shot" -format '%k' info:)" -gt 16 ]
}
if start_app; then
  echo "window $win"
  wait_for 30 painted || fail "no painted window in the screenshot"
  [ -s "$shot" ] && echo "screenshot $shot"

  # 2. No compositing manager: the release of a drag says so, and the window
  # keeps no opacity.
  "$owner" _NET_WM_CM_S0 && fail "a compositing manager runs before one was started"
  drag "$slider_right" "$((slider_x - 40))"
  wait_for 15 xdotool search --onlyvisible --name '^Failed$' ||
    fail "no \"Failed\" message after releasing the slider without a compositing manager"
  [ -z "$(opacity)" ] || fail "opacity set without a compositing manager: $(opacity)"
  stop_app
fi

# 3. With a compositing manager.
xcompmgr > "$tmp/xcompmgr.log" 2>&1 &
xcompmgr_pid=$!
pids+=("$xcompmgr_pid")
wait_for 30 "$owner" _NET_WM_CM_S0 || fail "xcompmgr did not take _NET_WM_CM_S0"
if start_app; then
  [ -z "$(opacity)" ] || fail "the window starts with an opacity: $(opacity)"
  # A drag to the far left: the minimum, 90.
  drag "$slider_right" "$((slider_x - 40))"
  wait_for 15 opacity_is "$(alpha_value 90)" ||
    fail "after a drag to the left end: opacity '$(opacity)', expected $(alpha_value 90)"
  # Pressing and releasing the thumb without moving it applies 90 again.
  click_at "$slider_left" "$slider_mid_y"
  sleep 0.2
  opacity_is "$(alpha_value 90)" || fail "a release in place changed the opacity to '$(opacity)'"
  # A drag to the far right: fully opaque.
  drag "$slider_left" "$((slider_x + slider_w + 40))"
  wait_for 15 opacity_is "$(alpha_value 255)" ||
    fail "after a drag to the right end: opacity '$(opacity)', expected $(alpha_value 255)"
  # A click on the track left of the thumb moves the slider down; the release
  # applies whatever position it then has.
  click_at "$((slider_x + 20))" "$slider_mid_y"
  changed() { [ -n "$(opacity)" ] && [ "$(opacity)" != "$(alpha_value 255)" ]; }
  if wait_for 5 changed; then
    value=$(opacity)
    alpha=$((value / 16843009))
    if [ "$((alpha * 16843009))" != "$value" ] || [ "$alpha" -lt 90 ] || [ "$alpha" -ge 255 ]; then
      fail "after a click on the track: opacity $value is no slider position"
    else
      echo "track click: alpha $alpha"
    fi
  else
    fail "a click on the track left the opacity at '$(opacity)'"
  fi
  xdotool search --onlyvisible --name '^Failed$' > /dev/null &&
    fail "\"Failed\" shown while a compositing manager runs"
  stop_app
fi
kill "$xcompmgr_pid" 2> /dev/null
wait "$xcompmgr_pid" 2> /dev/null

# 4. Always on top under a window manager.
openbox > "$tmp/openbox.log" 2>&1 &
openbox_pid=$!
pids+=("$openbox_pid")
wait_for 30 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"' ||
  { fail "openbox did not start"; cat "$tmp/openbox.log"; }
managed() { xprop -id "$win" _NET_FRAME_EXTENTS | grep -q '='; }
state() { xprop -id "$win" _NET_WM_STATE; }
above() { state | grep -q _NET_WM_STATE_ABOVE; }
not_above() { ! above; }
geometry() { xdotool getwindowgeometry "$win" | tail -n 2; }
if start_app; then
  wait_for 30 managed || fail "openbox did not manage the window"
  # Let the window manager's placement settle before taking the reference.
  before=$(geometry)
  settled() {
    local now
    now=$(geometry)
    [ "$now" = "$before" ] && return 0
    before=$now
    return 1
  }
  wait_for 5 settled
  not_above || fail "the window starts above the others: $(state)"
  click_at "$ontop_x" "$ontop_y"
  wait_for 15 above || fail "Always on top did not set _NET_WM_STATE_ABOVE: $(state)"
  sleep 0.2
  [ "$(geometry)" = "$before" ] || fail "Always on top moved the window: '$before' -> '$(geometry)'"
  click_at "$ontop_x" "$ontop_y"
  wait_for 15 not_above || fail "a second click left _NET_WM_STATE_ABOVE set: $(state)"
  sleep 0.2
  [ "$(geometry)" = "$before" ] || fail "clearing Always on top moved the window: '$before' -> '$(geometry)'"
  stop_app
fi

# The keyboard after dialogs. A small file reads in milliseconds, so its
# progress comes and goes before the window manager ever focuses it: that is
# when the shortcuts used to go dead. Each round opens the file through the
# Open dialog, then Ctrl+S must bring up the Save dialog, whose cancel must
# leave Ctrl+O working for the next round.
"$gen" --kind mix --count 200 -o "$tmp/small.pcap" > /dev/null
visible() { xdotool search --onlyvisible --name "$1"; }
# dialog TITLE: waits for the window TITLE to have the keyboard; its id.
dialog() {
  local id
  wait_for 10 visible "^$1\$" || return 1
  id=$(visible "^$1\$" | head -n 1)
  wait_for 10 sh -c "[ \"\$(xdotool getwindowfocus)\" = $id ]" || return 1
  echo "$id"
}
gone() { ! visible "^$1\$" > /dev/null; }
caption_is() { [ "$(xdotool getwindowname "$win")" = "$1" ]; }
if start_app; then
  wait_for 30 managed || fail "openbox did not manage the window"
  rounds=7 answered=0
  for round in $(seq "$rounds"); do
    xdotool key ctrl+o
    dialog Open > /dev/null || { fail "round $round: Ctrl+O brought up no Open dialog"; break; }
    # The dialog's completer may take a Return typed while it catches up (a
    # slow build): the name is typed again until the dialog takes it.
    for attempt in 1 2 3; do
      xdotool key ctrl+a
      xdotool type --delay 2 "$tmp/small.pcap"
      sleep 0.3
      xdotool key Return
      wait_for 3 gone Open && break
    done
    wait_for 10 caption_is "Tapwatch v2.0 - small.pcap" && wait_for 10 gone Open ||
      { fail "round $round: the file opened through the dialog did not load"; break; }
    xdotool key ctrl+s
    dialog Save > /dev/null ||
      { fail "round $round: Ctrl+S did not reach the window after a file was opened"; break; }
    xdotool key Escape
    wait_for 10 gone Save || { fail "round $round: Escape left the Save dialog open"; break; }
    answered=$((answered + 1))
  done
  ((answered == rounds)) && echo "Ctrl+S and Ctrl+O answered after $rounds files opened through the dialog"
  # A real save: its progress and its message box go, and the window has the
  # keyboard back, in the packet list where Enter opens nothing.
  xdotool key ctrl+s
  if dialog Save > /dev/null; then
    xdotool key ctrl+a
    xdotool type --delay 2 "$tmp/saved.pcap"
    sleep 0.3
    xdotool key Return
    if dialog Success > /dev/null; then
      xdotool key Return
      wait_for 10 gone Success || fail "Enter left the message box open"
      xdotool key Return
      sleep 0.5
      visible "^About Tapwatch\$" > /dev/null && fail "Enter after the save's message opened About"
      xdotool key ctrl+o
      if dialog Open > /dev/null; then
        xdotool key Escape
      else
        fail "Ctrl+O did not reach the window after a save"
      fi
    else
      fail "the save said nothing"
    fi
    [ -s "$tmp/saved.pcap" ] || fail "the save wrote no file"
  else
    fail "Ctrl+S brought up no Save dialog"
  fi
  stop_app
fi

# 5. Maximised under the window manager: the window takes the work area and
# the packet list all the room it gained.
"$probe" maximise > "$tmp/maximise" 2> "$tmp/probe.log" &
probe_pid=$!
pids+=("$probe_pid")
if wait_for 30 grep -q '^window ' "$tmp/maximise"; then
  value() { grep "^$1 " "$tmp/maximise" | cut -d' ' -f"$2"; }
  first_w=$(value first 2) first_h=$(value first 3)
  max_w=$(value maximised 2) max_h=$(value maximised 3)
  screen_w=$(value screen 2) screen_h=$(value screen 3)
  list_w=$(value list 2) list_h=$(value list 3)
  maxlist_w=$(value maxlist 2) maxlist_h=$(value maxlist 3)
  echo "maximised ${first_w}x$first_h -> ${max_w}x$max_h on a work area of ${screen_w}x$screen_h"
  # The window manager's frame takes a few pixels at the sides and the title bar.
  ((max_w >= screen_w - 16 && max_w <= screen_w)) ||
    fail "maximised width $max_w does not fill the work area's $screen_w"
  ((max_h >= screen_h - 60 && max_h <= screen_h)) ||
    fail "maximised height $max_h does not fill the work area's $screen_h"
  ((maxlist_w - list_w == max_w - first_w)) ||
    fail "the list grew by $((maxlist_w - list_w)) px in width, the window by $((max_w - first_w))"
  ((maxlist_h - list_h > (max_h - first_h) / 2)) ||
    fail "the list grew by only $((maxlist_h - list_h)) of $((max_h - first_h)) px in height"
  maxshot="$out/tapwatch-maximised.png"
  xwd -silent -id "$(value window 2)" | convert xwd:- png:"$maxshot" ||
    fail "no screenshot of the maximised window"
  shot_size=$(convert "$maxshot" -format '%w %h' info: 2> /dev/null)
  [ "$shot_size" = "$max_w $max_h" ] ||
    fail "the screenshot of the maximised window is '$shot_size', expected '$max_w $max_h'"
  [ "$(convert "$maxshot" -format '%k' info:)" -gt 16 ] || fail "the maximised window is not painted"
  echo "screenshot $maxshot"
else
  cat "$tmp/probe.log"
  fail "the window probe did not report a maximised window"
fi
kill "$probe_pid" 2> /dev/null
wait "$probe_pid" 2> /dev/null

kill "$openbox_pid" 2> /dev/null
wait "$openbox_pid" 2> /dev/null

# 6. A capture streamed into standard input, as from another machine's tcpdump.
if [ "$(id -u)" = 0 ] && command -v tcpdump > /dev/null; then
  port=47993
  (tcpdump -U -w - -i lo udp port $port 2> "$tmp/tcpdump.log" | "$app" - > "$tmp/stream.log" 2>&1) &
  pipeline=$!
  pids+=("$pipeline")
  if wait_for 30 xdotool search --onlyvisible --name '^Tapwatch v2\.0 - standard input$'; then
    win=$(xdotool search --onlyvisible --name '^Tapwatch v2\.0 - standard input$' | head -n 1)
    wait_for 10 grep -q "listening on lo" "$tmp/tcpdump.log" || fail "tcpdump did not start on lo"
    for i in 1 2 3 4 5; do echo "datagram $i" > /dev/udp/127.0.0.1/$port; sleep 0.05; done
    # tcpdump hands packets over in batches, at least once a second.
    sleep 2
    # The Capture button reads "Stop" while the stream is open: it stops it.
    click_at "$capture_x" "$capture_y"
    sleep 0.3
    pgrep -P "$pipeline" -x tcpdump > /dev/null || fail "tcpdump ended before the window looked at its rows"
    xdotool windowfocus "$win"
    xdotool key Escape
    if wait_for 10 xdotool search --onlyvisible --name '^Warning$'; then
      box=$(xdotool search --onlyvisible --name '^Warning$' | head -n 1)
      xdotool windowfocus "$box"
      xdotool key Escape # No
      sleep 0.5
      xdotool search --onlyvisible --name '^Tapwatch v2\.0 - standard input$' > /dev/null ||
        fail "No to the question closed the window"
      xdotool windowfocus "$win"
      xdotool key Escape
      if wait_for 10 xdotool search --onlyvisible --name '^Warning$'; then
        box=$(xdotool search --onlyvisible --name '^Warning$' | head -n 1)
        xdotool windowfocus "$box"
        xdotool key alt+y
        gone() { ! xdotool search --onlyvisible --name '^Tapwatch v2\.0' > /dev/null; }
        if wait_for 10 gone; then
          echo "stream: its rows were asked about; No kept the window, Yes closed it"
        else
          fail "Yes to the question left the window open"
        fi
      else
        fail "the second close did not ask"
      fi
    else
      fail "closing with the stream's rows did not ask: no rows arrived from tcpdump"
      cat "$tmp/tcpdump.log" "$tmp/stream.log"
      xdotool search --onlyvisible --name '.' getwindowname %@
    fi
  else
    cat "$tmp/stream.log"
    fail "the window \"Tapwatch v2.0 - standard input\" did not appear"
  fi
  for child in $(pgrep -P "$pipeline"); do kill "$child" 2> /dev/null; done
  kill "$pipeline" 2> /dev/null
  wait "$pipeline" 2> /dev/null
  ((failures > 0)) && cat "$tmp/tcpdump.log"
else
  echo "stream check skipped: capturing on lo needs root and tcpdump"
fi

if ((failures > 0)); then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all checks passed"
