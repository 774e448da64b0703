#!/usr/bin/env bash
# The show on a real Wayland compositor: a headless sway (pixman renderer,
# no Xwayland) run, like the saver, by an unprivileged user, since sway
# refuses root. One table of runs of the packed demo saver (`/s`):
#   key     the show is on screen (a screenshot that is not blank), fullscreen,
#           idle inhibited; a key ends it
#   button  a button ends it; the frames reach the compositor in shared-memory
#           buffers, damaged only where the show changed
#   move    the first move only sets where the pointer is; the next ends it
#   none    neither WAYLAND_DISPLAY nor DISPLAY: one line on stderr, status 1
#   x11     a daemon's mode (-window) on the compositor alone: X11 only, so
#           one line and status 1 too
#   lost    the compositor goes away under the show: one line, status 1
# Every other run that ends ends with status 0 and leaves its temporary folder empty.
# Exits 77 (skipped) only when sway cannot run on this machine.
# usage: wayland-test.sh BUILD_DIR
set -uo pipefail
build=$(cd "$1" && pwd)
user=showsaver-test
name=showsaver-demo

skip() { echo "SKIP: $*"; exit 77; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

for tool in sway swaymsg grim wtype identify; do
  command -v "$tool" >/dev/null || skip "$tool is not installed (scripts/packages.txt)"
done
for f in demo-show libshowsaver_core.so seat_pointer; do
  [ -e "$build/$f" ] || { echo "FAIL: $build/$f is not built"; exit 1; }
done

# sway and the saver run as $user; the build folder may be private (CI's
# checkout lives in root's home), so the programs are copied where it can read.
as=()
if [ "$(id -u)" -eq 0 ]; then
  id "$user" >/dev/null 2>&1 || useradd -m "$user" || skip "cannot create the user $user"
  as=(runuser -u "$user" --)
  owner=$user
else
  owner=$(id -un)
fi
# In /tmp, which the user can reach whatever TMPDIR says, and short enough
# for the sockets' paths.
work=$(mktemp -d /tmp/showsaver-wayland.XXXXXX)
chmod 755 "$work"
sway_pid=
pointer_pid=
saver_pid=
cleanup() {
  for pid in $saver_pid $pointer_pid $sway_pid; do kill "$pid" 2>/dev/null; done
  for pid in $saver_pid $pointer_pid $sway_pid; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/bin" "$work/home" "$work/config" "$work/run"
cp "$build/demo-show" "$work/bin/$name"
cp "$build/libshowsaver_core.so" "$build/seat_pointer" "$work/bin/"
chmod 700 "$work/run"
chown "$owner" "$work/home" "$work/config" "$work/run"
cat >"$work/sway.conf" <<CONF
xwayland disable
output HEADLESS-1 mode 800x600
CONF

session=(env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/run" NO_AT_BRIDGE=1)
"${as[@]}" "${session[@]}" WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 \
  sway -c "$work/sway.conf" >"$work/sway.log" 2>&1 &
display=
for _ in $(seq 100); do
  socket=$(ls "$work"/run/sway-ipc.*.sock 2>/dev/null | head -1)
  display=$(cd "$work/run" && ls wayland-* 2>/dev/null | grep -v lock | head -1)
  [ -n "$socket" ] && [ -n "$display" ] && break
  sleep 0.1
done
[ -n "$socket" ] && [ -n "$display" ] || skip "sway did not start: $(tail -3 "$work/sway.log" | tr '\n' ' ')"
sway_pid=$(basename "$socket" .sock)
sway_pid=${sway_pid##*.}
wl=("${as[@]}" "${session[@]}" WAYLAND_DISPLAY="$display" SWAYSOCK="$socket")

# A headless seat has no pointer: the virtual one makes the cursor commands
# reach the client.
"${wl[@]}" "$work/bin/seat_pointer" >"$work/pointer.log" 2>&1 &
pointer_pid=$!
for _ in $(seq 50); do grep -q ready "$work/pointer.log" && break; sleep 0.1; done
grep -q ready "$work/pointer.log" || { echo "FAIL: no pointer: $(cat "$work/pointer.log")"; exit 1; }
"${wl[@]}" swaymsg -q seat seat0 cursor set 400 300

tree() { "${wl[@]}" swaymsg -t get_tree 2>/dev/null; }

# start CASE [VARIABLE=VALUE...]: the saver's show, with a temporary folder
# of its own; waits for its fullscreen window.
start() {
  local case=$1
  shift
  mkdir -m 777 "$work/tmp-$case"
  "${wl[@]}" TMPDIR="$work/tmp-$case" XDG_CONFIG_HOME="$work/config" SDL_AUDIODRIVER=dummy "$@" \
    "$work/bin/$name" /s >"$work/$case.log" 2>&1 &
  saver_pid=$!
  for _ in $(seq 150); do
    tree | grep -q "\"app_id\": \"$name\"" && tree | grep -q '"fullscreen_mode": 1' && return 0
    kill -0 "$saver_pid" 2>/dev/null || break
    sleep 0.1
  done
  fail "$case: no fullscreen window of the saver: $(tail -5 "$work/$case.log")"
  return 1
}

# ended CASE: the saver ends within 10 s, status 0, nothing left behind.
ended() {
  for _ in $(seq 100); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$saver_pid" 2>/dev/null; then
    fail "$1: the show did not end"
    kill "$saver_pid"
  fi
  wait "$saver_pid"
  local status=$?
  saver_pid=
  [ "$status" -eq 0 ] || fail "$1: status $status: $(tail -5 "$work/$1.log")"
  [ "$1" = button ] || [ ! -s "$work/$1.log" ] || echo "note: $1 printed: $(head -3 "$work/$1.log")"
  local left
  left=$(ls -A "$work/tmp-$1")
  [ -z "$left" ] || fail "$1: left behind in its temporary folder: $left"
  tree | grep -q "\"app_id\": \"$name\"" && fail "$1: the window is still there"
  echo "ok: $1"
}

# Gives the show time to draw (and, on the first run, to measure the
# machine's speed) before the input.
settle() { sleep 1.5; }

if start key; then
  settle
  tree | grep -q '"inhibit_idle": true' || fail "key: idle is not inhibited while the show plays"
  "${wl[@]}" grim "$work/run/screen.png" && cp "$work/run/screen.png" "$build/wayland-show.png"
  colours=$(identify -format %k "$build/wayland-show.png" 2>/dev/null || echo 0)
  [ "$colours" -gt 1 ] || fail "key: the screenshot is blank ($colours colours), see $build/wayland-show.png"
  # wtype's keyboard is new to the seat: the pause lets the client bind it.
  "${wl[@]}" wtype -s 500 x
  ended key
fi

if start button WAYLAND_DEBUG=client; then
  # Long enough for frames after the first full ones, even on a busy machine.
  sleep 3
  "${wl[@]}" swaymsg -q seat seat0 cursor press button1
  "${wl[@]}" swaymsg -q seat seat0 cursor release button1
  ended button
  # The requests the saver sent: every frame a wl_shm buffer of the output's
  # size, and damage smaller than the output once the show has begun.
  grep -q 'wl_shm@[0-9]*\.create_pool(.*, 1920000)' "$work/button.log" ||
    fail "button: no shared-memory buffer of 800 x 600"
  grep -q 'zwp_linux_dmabuf' "$work/button.log" && fail "button: frames went through dmabuf"
  damages=$(grep -o 'wl_surface@[0-9]*\.damage(.*)' "$work/button.log" | grep -o '[0-9, ]*)$' | tr -d ' )')
  [ -n "$damages" ] || fail "button: no damage was sent"
  partial=$(awk -F, '$3 * $4 < 800 * 600' <<<"$damages" | wc -l)
  echo "button: $(wc -l <<<"$damages") frames, $partial of them damaged less than the whole output"
  [ "$partial" -gt 0 ] || fail "button: every frame damaged the whole output"
fi

if start move; then
  settle
  "${wl[@]}" swaymsg -q seat seat0 cursor move 5 5
  sleep 1
  kill -0 "$saver_pid" 2>/dev/null || fail "move: the first move ended the show"
  "${wl[@]}" swaymsg -q seat seat0 cursor move 5 5
  ended move
fi

# No display at all.
mkdir -m 777 "$work/tmp-none"
"${as[@]}" "${session[@]}" TMPDIR="$work/tmp-none" XDG_CONFIG_HOME="$work/config" "$work/bin/$name" /s \
  >"$work/none.out" 2>"$work/none.err"
status=$?
[ "$status" -eq 1 ] || fail "none: status $status"
[ "$(wc -l <"$work/none.err")" -eq 1 ] && grep -q "no display" "$work/none.err" ||
  fail "none: stderr is not the one line: $(cat "$work/none.err")"
[ -z "$(ls -A "$work/tmp-none")" ] || fail "none: left behind: $(ls -A "$work/tmp-none")"
echo "ok: none"

# The daemons' modes stay on X11, with the compositor right there.
mkdir -m 777 "$work/tmp-x11"
"${wl[@]}" TMPDIR="$work/tmp-x11" XDG_CONFIG_HOME="$work/config" "$work/bin/$name" -window \
  >"$work/x11.out" 2>"$work/x11.err"
status=$?
[ "$status" -eq 1 ] || fail "x11: status $status"
[ "$(wc -l <"$work/x11.err")" -eq 1 ] && grep -q "needs X11" "$work/x11.err" ||
  fail "x11: stderr is not the one line: $(cat "$work/x11.err")"
tree | grep -q "\"app_id\": \"$name\"" && fail "x11: a window came up on the compositor"
[ -z "$(ls -A "$work/tmp-x11")" ] || fail "x11: left behind: $(ls -A "$work/tmp-x11")"
echo "ok: x11"

# Last, as it takes the compositor away: the saver says so on one line, ends
# with status 1 and leaves its temporary folder empty, as when the X server goes.
if start lost; then
  settle
  kill "$sway_pid"
  for _ in $(seq 100); do kill -0 "$saver_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$saver_pid" 2>/dev/null; then
    fail "lost: the saver outlived its compositor"
    kill -9 "$saver_pid"
  fi
  wait "$saver_pid"
  status=$?
  saver_pid=
  [ "$status" -eq 1 ] || fail "lost: status $status"
  grep -v "^note:" "$work/lost.log" | grep -qx "$name: lost the connection to the display" ||
    fail "lost: stderr does not say so: $(head -3 "$work/lost.log")"
  [ -z "$(ls -A "$work/tmp-lost")" ] || fail "lost: left behind: $(ls -A "$work/tmp-lost")"
  echo "ok: lost"
fi

[ "$failures" -eq 0 ] || exit 1
echo "PASS"
