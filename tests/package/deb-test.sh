#!/usr/bin/env bash
# The Debian package: cpack builds it from BUILD_DIR, it is unpacked into a
# scratch root (or, in CI, installed with dpkg -i), it holds the programs,
# the engine library, the manual pages and the demo saver, no binary carries
# an absolute run path, and the demo saver plays from there under Xvfb as a
# daemon runs it and ends cleanly on SIGTERM.
set -euo pipefail
build=$(cd "$1" && pwd)
scratch=$(mktemp -d)
xvfb_pid=
saver_pid=
cleanup() {
  [ -n "$saver_pid" ] && kill "$saver_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ "${installed:-0}" = 1 ]; then dpkg -r showsaver >/dev/null 2>&1 || true; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/package" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/package/showsaver_*.deb)
dpkg-deb -f "$deb" Depends | grep -q libgtk-3 || fail "no computed dependencies"

if [ "${CI:-}" = true ] && [ "$(id -u)" -eq 0 ]; then
  dpkg -i "$deb" >/dev/null
  installed=1
  root=
  files=$(dpkg -L showsaver)
else
  dpkg-deb -x "$deb" "$scratch/root"
  root=$scratch/root
  files=$(dpkg-deb -c "$deb" | awk '{print substr($6, 2)}')
fi
for f in /usr/bin/showsaver /usr/bin/showpack /usr/lib/libshowsaver_core.so /usr/share/man/man1/showsaver.1 \
         /usr/share/man/man1/showpack.1 /usr/share/showsaver/showsaver-demo; do
  grep -qx "$f" <<<"$files" || fail "$f is not in the package"
done
for f in usr/bin/showsaver usr/bin/showpack usr/share/showsaver/showsaver-demo; do
  if readelf -d "$root/$f" | grep -E 'R(UN)?PATH' | grep -q "$build"; then fail "$f has the build path in its run path"; fi
done
"$root/usr/bin/showsaver" --help | grep -q -- -window-id || fail "showsaver --help"
"$root/usr/bin/showpack" --help | grep -q "showpack install" || fail "showpack --help"

# Xvfb on a free display.
for n in $(seq 140 199); do
  [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 640x480x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  break
done
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.2; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

pixel() { import -window root -crop 1x1+320+240 -depth 8 rgb:- | od -An -tx1 | tr -d ' \n'; }
before=$(pixel)
mkdir -p "$scratch/tmp" "$scratch/config"
TMPDIR=$scratch/tmp XDG_CONFIG_HOME=$scratch/config NO_AT_BRIDGE=1 SDL_AUDIODRIVER=dummy \
  "$root/usr/share/showsaver/showsaver-demo" --root >"$scratch/saver.log" 2>&1 &
saver_pid=$!
for _ in $(seq 100); do [ "$(pixel)" != "$before" ] && break; sleep 0.2; done
[ "$(pixel)" != "$before" ] || { cat "$scratch/saver.log"; fail "the demo drew nothing on the root window"; }
kill -TERM "$saver_pid"
status=0
wait "$saver_pid" || status=$?
saver_pid=
[ "$status" = 0 ] || { cat "$scratch/saver.log"; fail "the demo saver exited with $status on SIGTERM"; }
if ls "$scratch/tmp" | grep -q '^showsaver-'; then fail "the demo saver left its temporary folder"; fi

# The installed showpack installs the demo for the user.
XDG_DATA_HOME=$scratch/data "$root/usr/bin/showpack" install "$root/usr/share/showsaver/showsaver-demo" --user \
  >"$scratch/install.log" || { cat "$scratch/install.log"; fail "showpack install --user"; }
xmllint --noout "$scratch/data/showsaver/savers/showsaver-demo.xml" || fail "the settings file"
echo "package ok: $(basename "$deb")"
