#!/usr/bin/env bash
# The player's SPOTS button docks the light controller over the player's lower panel, time
# after time, while EXPLORER hides it again and the player takes the focus from it (which
# puts the lights on top): the lights keep their one window and land in their place each
# time. Both real programs run on a virtual display with a private prefix.
#   spots_dock.sh <folder with kazpro and BeamExe> [rounds]
set -euo pipefail

if [ "${1:-}" = "--inside" ]; then
  pids=()
  stop_all() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    for p in "${pids[@]}"; do wait "$p" 2>/dev/null || true; done
  }
  trap stop_all EXIT
  # Polls until the command prints what is wanted (up to 10 s).
  wait_for() {
    local want=$1 got=""
    shift
    for _ in $(seq 1 200); do
      got=$("$@" 2>/dev/null || true)
      [ "$got" = "$want" ] && return 0
      sleep 0.05
    done
    echo "waited for '$want', have '$got'" >&2
    return 1
  }
  window() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
  position() {
    xdotool getwindowgeometry "$1" 2>/dev/null | awk '/Position/ {print $2}'
  }
  shown() { [ -n "$(window '^Beam FX$')" ] && echo yes || echo no; }
  click() {  # client point of the player's window
    xdotool mousemove --window "$player" "$1" "$2" click 1
  }

  "$bin/kazpro" >"$out/kazpro.log" 2>&1 &
  pids+=($!)
  timeout 20 xdotool search --sync --onlyvisible --name '^KAZ$' >/dev/null
  player=$(window '^KAZ$')
  "$bin/BeamExe" >"$out/BeamExe.log" 2>&1 &
  pids+=($!)
  timeout 20 xdotool search --sync --onlyvisible --name '^Beam FX$' >/dev/null
  lights=$(window '^Beam FX$')
  IFS=, read -r px py <<<"$(position "$player")"
  # Over the player's panel at (126, 433): 110 right of its left edge and 1 below its top.
  dock="$((px + 236)),$((py + 434))"
  for round in $(seq 1 "$rounds"); do
    click 64 573  # SPOTS
    wait_for yes shown || { echo "round $round: not shown" >&2; exit 1; }
    wait_for "$dock" position "$lights" || { echo "round $round: not docked" >&2; exit 1; }
    [ "$(window '^Beam FX$')" = "$lights" ] || { echo "round $round: a new window" >&2; exit 1; }
    click 400 126  # the level graph: the player takes the focus
    click 64 449   # EXPLORER
    wait_for no shown || { echo "round $round: not hidden" >&2; exit 1; }
  done
  echo "docked $rounds times in one window"
  exit 0
fi

if [ $# -lt 1 ]; then
  echo "usage: $0 <folder with kazpro and BeamExe> [rounds]" >&2
  exit 2
fi
bin=$(cd "$1" && pwd)
rounds=${2:-20}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
mkdir -m 700 "$prefix/runtime"
out=$prefix
export bin rounds out
export KAZ_PREFIX=$prefix XDG_RUNTIME_DIR=$prefix/runtime
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inside
