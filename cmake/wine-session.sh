#!/usr/bin/env bash
# Runs one command inside a Wine session of its own: a fresh prefix copied
# from a template, an Xvfb display, and one warm wineserver. Everything the
# session started is gone when it ends, also after a failure or a signal.
#   wine-session.sh COMMAND [ARG...]
# Settings: ARVEXA_WINE_ROOT (where the template and run prefixes live).
set -u

here=$(cd "$(dirname "$0")" && pwd)
root=${ARVEXA_WINE_ROOT:-$here/../build/win64/wine}
mkdir -p "$root"
root=$(cd "$root" && pwd)

wine_loader=$(dpkg -L wine64 2>/dev/null | grep -m1 '/wine64$')
wine_loader=${wine_loader:-/usr/lib/wine/wine64}
wine_server=$(dirname "$wine_loader")/wineserver64
export WINEDEBUG=-all
# No mono or gecko installer dialogs while a prefix is created.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

xvfb_pid=""
prefix=""
child=""

cleanup() {
  trap - EXIT INT TERM HUP
  if [ -n "$child" ]; then kill -TERM "$child" 2>/dev/null; wait "$child" 2>/dev/null; fi
  if [ -n "$prefix" ]; then
    WINEPREFIX=$prefix "$wine_server" -k 2>/dev/null
    WINEPREFIX=$prefix "$wine_server" -w 2>/dev/null
    rm -rf "$prefix"
  fi
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; fi
}
on_signal() { cleanup; exit 130; }
trap cleanup EXIT
trap on_signal INT TERM HUP

start_display() {
  local fifo
  fifo=$(mktemp -u "$root/display.XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  local number
  read -r -t 30 number <"$fifo"
  rm -f "$fifo"
  if [ -z "$number" ]; then echo "wine-session: Xvfb did not start" >&2; exit 1; fi
  export DISPLAY=:$number
}

# A prefix takes seconds to set up; make it once and copy it for every run.
make_template() {
  (
    flock 9
    if [ ! -f "$root/template/.complete" ]; then
      rm -rf "$root/template"
      WINEPREFIX=$root/template "$wine_loader" wineboot -i >/dev/null 2>&1
      # A program started while the prefix is still being set up races with it.
      WINEPREFIX=$root/template "$wine_server" -w
      touch "$root/template/.complete"
    fi
  ) 9>"$root/template.lock"
}

start_server() {
  prefix=$(mktemp -d "$root/run.XXXXXX")
  cp -a "$root/template/." "$prefix/"
  rm -f "$prefix/.complete"
  export WINEPREFIX=$prefix
  setsid "$wine_server" -p </dev/null >/dev/null 2>&1 &
  # Without this warm-up the first real program has been seen to hang.
  "$wine_loader" cmd /c exit >/dev/null 2>&1
}

start_display
make_template
start_server
export ARVEXA_WINE_SESSION=1 ARVEXA_WINE_LOADER=$wine_loader ARVEXA_WINE_SERVER=$wine_server

"$@" &
child=$!
wait "$child"
status=$?
child=""
exit $status
