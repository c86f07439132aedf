#!/usr/bin/env bash
# Drives the real window through the accessibility bus, as a screen reader would.
# Usage: run.sh ZEFTO ZEFTO_CONVERT MAKE_REPORT
# ZEFTO_A11Y_SHOTS=DIR keeps a screenshot of every state in DIR.
# ZEFTO_A11Y_KEEP=1 keeps the temporary folder (report, database, logs).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)

fail() {
  echo "AccessibilityEndToEnd: $*" >&2
  exit 1
}

if [ "${1:-}" != --inside ]; then
  [ $# -eq 3 ] || fail "usage: run.sh ZEFTO ZEFTO_CONVERT MAKE_REPORT"
  for tool in dbus-run-session dbus-send Xvfb openbox xauth xprop timeout; do
    command -v "$tool" >/dev/null || fail "$tool is missing: run scripts/setup.sh"
  done
  [ -x /usr/libexec/at-spi-bus-launcher ] || fail "/usr/libexec/at-spi-bus-launcher is missing: run scripts/setup.sh"
  /usr/bin/python3 -I -c 'import pyatspi' 2>/dev/null || fail "/usr/bin/python3 cannot import pyatspi: run scripts/setup.sh"
  if [ -n "${ZEFTO_A11Y_SHOTS:-}" ]; then
    command -v import >/dev/null || fail "ZEFTO_A11Y_SHOTS needs ImageMagick's import: run scripts/setup.sh"
    # The driver runs elsewhere; a folder named from here must mean the same there.
    ZEFTO_A11Y_SHOTS=$(realpath -m "$ZEFTO_A11Y_SHOTS") && export ZEFTO_A11Y_SHOTS
  fi
  # A private session bus; timeout signals its whole process group if anything hangs.
  timeout --kill-after=5 55 dbus-run-session -- "$0" --inside "$@"
  status=$?
  [ $status -eq 124 ] && echo "AccessibilityEndToEnd: did not finish within 55 s" >&2
  exit $status
fi
shift
# The driver runs in the temporary folder: the programs' names must not depend on where it starts.
zefto=$(realpath "$1") convert=$(realpath "$2") make_report=$(realpath "$3")

tmp=$(mktemp -d "${TMPDIR:-/tmp}/zefto-a11y.XXXXXX") || fail "cannot make a temporary folder"
mkdir -p "$tmp/work" "$tmp/x" "$tmp/x/runtime"
chmod 700 "$tmp/x/runtime"
# Sockets and caches of the programs started here stay in the temporary folder.
export XDG_RUNTIME_DIR=$tmp/x/runtime
pids=()

cleanup() {
  local status=$?
  # The program's pid is written by the driver; it may outlive a killed driver.
  [ -s "$tmp/x/zefto.pid" ] && pids+=("$(cat "$tmp/x/zefto.pid")")
  local i
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill -TERM "${pids[i]}" 2>/dev/null
  done
  for _ in $(seq 30); do
    local alive=0
    for p in "${pids[@]}"; do kill -0 "$p" 2>/dev/null && alive=1; done
    [ "$alive" = 0 ] && break
    sleep 0.1
  done
  for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
  if [ "$status" -ne 0 ]; then
    for log in "$tmp"/x/*.log; do
      [ -s "$log" ] && { echo "--- ${log##*/}"; tail -n 20 "$log"; } >&2
    done
  fi
  if [ "${ZEFTO_A11Y_KEEP:-0}" = 1 ]; then
    echo "AccessibilityEndToEnd: kept $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

# wait_until SECONDS COMMAND...: true once COMMAND succeeds, false when time runs out.
wait_until() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.1
  done
}

# The server takes any cookie in its file; the client needs one for the display it picked.
cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
export XAUTHORITY=$tmp/x/Xauthority
: >"$XAUTHORITY"
xauth -q -f "$XAUTHORITY" add :0 MIT-MAGIC-COOKIE-1 "$cookie" || fail "xauth cannot write $XAUTHORITY"
# -displayfd picks a free display, so tests on one machine never share one.
Xvfb -displayfd 3 -auth "$XAUTHORITY" -screen 0 1024x768x24 -nolisten tcp 3>"$tmp/x/display" 2>"$tmp/x/xvfb.log" &
pids+=($!)
display_known() { [ -s "$tmp/x/display" ] || ! kill -0 "${pids[0]}" 2>/dev/null; }
wait_until 15 display_known
[ -s "$tmp/x/display" ] || fail "Xvfb did not start: $(tail -n 5 "$tmp/x/xvfb.log" | tr '\n' ' ')"
DISPLAY=:$(tr -dc 0-9 <"$tmp/x/display")
export DISPLAY
xauth -q -f "$XAUTHORITY" add "$DISPLAY" MIT-MAGIC-COOKIE-1 "$cookie" || fail "xauth cannot add $DISPLAY"
display_answers() { xprop -root >/dev/null 2>&1; }
wait_until 10 display_answers || fail "Xvfb runs on $DISPLAY but takes no client"

/usr/libexec/at-spi-bus-launcher --launch-immediately >"$tmp/x/atspi.log" 2>&1 &
pids+=($!)
# Asking for the name's owner, not calling it: a call would start a second launcher.
a11y_bus_up() {
  dbus-send --session --print-reply --reply-timeout=2000 --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null | grep -q 'boolean true' &&
    dbus-send --session --print-reply --reply-timeout=2000 --dest=org.a11y.Bus /org/a11y/bus \
      org.a11y.Bus.GetAddress 2>/dev/null | grep -q 'string "[a-z]'
}
wait_until 15 a11y_bus_up || fail "the accessibility bus did not start (at-spi-bus-launcher): $(tail -n 5 "$tmp/x/atspi.log" | tr '\n' ' ')"

wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || ! kill -0 "${pids[-1]}" 2>/dev/null; }
# A server just started now and then refuses its first clients: openbox gets three tries.
for try in 1 2 3; do
  openbox --sm-disable >"$tmp/x/openbox.log" 2>&1 &
  pids+=($!)
  wait_until 15 wm_up && kill -0 "${pids[-1]}" 2>/dev/null && break
  [ $try -eq 3 ] && fail "openbox did not take the display $DISPLAY: $(tail -n 5 "$tmp/x/openbox.log" | tr '\n' ' ')"
  sleep 0.5
done

"$make_report" --lines 126 "$tmp/work/share-table.txt" >"$tmp/x/make-report.log" 2>&1 || fail "make-report failed"

cd "$tmp/work" || fail "cannot enter $tmp/work"
timeout --kill-after=3 40 /usr/bin/python3 -I "$here/drive.py" \
  --zefto "$zefto" --convert "$convert" --report share-table.txt \
  --pid-file "$tmp/x/zefto.pid" --log "$tmp/x/zefto.log" --reference "$tmp/reference"
status=$?
[ $status -eq 124 ] && echo "AccessibilityEndToEnd: the driver ran out of time" >&2
exit $status
