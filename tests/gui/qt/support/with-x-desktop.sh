#!/usr/bin/env bash
# with-x-desktop.sh COMMAND...: runs COMMAND on an X server of its own (Xvfb)
# with the window manager named by MABREL_TEST_WM (openbox, metacity, or none
# for a bare server), and ends both afterwards. Qt programs run on that server
# (xcb). Listing tests needs no display.
set -u
for arg in "$@"; do
  [ "$arg" = --gtest_list_tests ] && exec "$@"
done
wm=${MABREL_TEST_WM:-openbox}

tmp=$(mktemp -d)
xvfb_pid= wm_pid=
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null && wait "$wm_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
fail() {
  echo "with-x-desktop: $*" >&2
  [ -s "$tmp/log" ] && sed 's/^/  /' "$tmp/log" >&2
  exit 1
}

# The first free display from :20 on. The server's lock file decides who has
# a display, so parallel test runs never meet on one: a server that finds
# the display taken ends at once, and the next number is tried.
start_xvfb() {  # display number
  # -noreset: the server would start afresh whenever its last client leaves,
  # refusing connections meanwhile.
  Xvfb ":$1" -screen 0 1280x800x24 -dpi 96 -nolisten tcp -noreset >>"$tmp/log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 600); do
    if ! kill -0 "$xvfb_pid" 2>/dev/null; then
      wait "$xvfb_pid" 2>/dev/null
      xvfb_pid=
      return 1
    fi
    # Ours (its lock) and answering.
    if [ "$(tr -d ' \n' 2>/dev/null <"/tmp/.X$1-lock")" = "$xvfb_pid" ] &&
       DISPLAY=":$1" xprop -root >/dev/null 2>&1; then
      return 0
    fi
    sleep 0.1
  done
  fail "Xvfb did not start within 60 s"
}
display=
for n in $(seq 20 119); do
  if start_xvfb "$n"; then display=$n; break; fi
done
[ -n "$display" ] || fail "no free display"
: >"$tmp/log"
export DISPLAY=":$display"

case "$wm" in
  none) ;;
  openbox) openbox --sm-disable >>"$tmp/log" 2>&1 & wm_pid=$! ;;
  metacity) metacity --sm-disable --no-composite >>"$tmp/log" 2>&1 & wm_pid=$! ;;
  *) fail "unknown window manager '$wm'" ;;
esac
if [ -n "$wm_pid" ]; then
  # Running once it has announced itself on the root window.
  for _ in $(seq 600); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    kill -0 "$wm_pid" 2>/dev/null || fail "$wm ended at start"
    sleep 0.1
  done
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || fail "$wm did not start within 60 s"
fi

export MABREL_TEST_WM="$wm" QT_QPA_PLATFORM=xcb
"$@"
