#!/bin/sh
# What the X server costs while the engine plays a full-screen video: the
# virtual X server's CPU seconds while a packed show plays a 10 s
# 1920 x 1080 H.264 AVI at 0,0 on a 1920 x 1080 screen, as a ratio to the CPU
# seconds of `ffmpeg -i F -f null -` on the same file (goal: at most 0.15).
# Two figures: over the 8 s from 3 s after the start (the film plays all
# through them) against 8/10 of ffmpeg's time, and over the whole run with
# the engine's start-up against all of it. The engine's own CPU is printed
# beside them.
#
#   bench/xserver_video.sh [BUILD_DIR]     (default: build)
#
# Needs Xvfb and ffmpeg with libx264. Both figures are CPU time, so other
# load on the machine moves them little.
set -eu
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
server=
saver=
cleanup() {
    [ -n "$saver" ] && kill "$saver" 2>/dev/null || true
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=s=1920x1080:r=25:d=10 -c:v libx264 -preset veryfast \
    -pix_fmt yuv420p "$scratch/film.avi"
cat > "$scratch/show.json" <<'JSON'
{"items": [
  {"class": "MediaItem", "name": "Film", "file": {"path": "film.avi"}, "mediaType": 1},
  {"class": "MediaPlayItem", "name": "Play the film", "media": 0, "wait": 1, "x": 0, "y": 0}
]}
JSON
"$build/showpack" build "$scratch/show.json" -o "$scratch/saver" --engine "$build/showsaver" >/dev/null

# utime + stime of a process, in clock ticks.
ticks() { awk '{ sub(/.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }
hz=$(getconf CLK_TCK)

display=:$(( ($$ % 200) + 300 ))
Xvfb "$display" -noreset -nolisten tcp -screen 0 1920x1080x24 >"$scratch/xvfb.log" 2>&1 &
server=$!
sleep 2
export DISPLAY="$display" XDG_CONFIG_HOME="$scratch/config" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
export SDL_AUDIODRIVER=dummy SHOWSAVER_MESSAGE_LOG="$scratch/messages.jsonl"
before=$(ticks "$server")
"$scratch/saver" /s >"$scratch/saver.log" 2>&1 &
saver=$!
# The film lasts 10 s; start-up and the calibration of a first run take
# about two more.
sleep 3
playStart=$(ticks "$server")
sleep 8
playEnd=$(ticks "$server")
sleep 2
engine=$(ticks "$saver")
after=$(ticks "$server")
kill "$saver"; wait "$saver" 2>/dev/null || true
saver=

start=$(awk '{ print $14 + $15 + $16 + $17 }' /proc/$$/stat)
ffmpeg -nostdin -v error -i "$scratch/film.avi" -f null -
bare=$(( $(awk '{ print $14 + $15 + $16 + $17 }' /proc/$$/stat) - start ))

awk -v x="$((after - before))" -v p="$((playEnd - playStart))" -v e="$engine" -v f="$bare" -v hz="$hz" 'BEGIN {
    printf "X server CPU: %.2f s in 8 s of the film, %.2f s in all; engine %.2f s in all; ffmpeg -f null %.2f s\n",
        p / hz, x / hz, e / hz, f / hz
    if (f > 0) {
        printf "ratio X server / ffmpeg -f null while the film plays = %.3f (goal: at most 0.15)\n", p / (0.8 * f)
        printf "ratio X server / ffmpeg -f null over the whole run = %.3f\n", x / f
    }
}'
