#!/bin/sh
# The demo's peak resident memory at 1280 x 800: the packed demo saver
# plays its whole show (`/s`) on a virtual X server of that size, sound to
# SDL's disk driver, until it ends by itself or 90 s have passed, under GNU
# time. Beside it, the peak of a show of one small picture and a pause in
# the same run (what the engine costs without the demo's media). Goal: the
# demo under 90 MB (87,890 KiB). Also lists which media libraries the demo
# and the small show mapped.
#
#   bench/demo_memory.sh [BUILD_DIR]     (default: build)
#
# Needs Xvfb and GNU time.
set -eu
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
server=
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT INT TERM

display=:$(( ($$ % 200) + 500 ))
Xvfb "$display" -noreset -nolisten tcp -screen 0 1280x800x24 >"$scratch/xvfb.log" 2>&1 &
server=$!
sleep 2
export DISPLAY="$display" XDG_CONFIG_HOME="$scratch/config" NO_AT_BRIDGE=1 GSETTINGS_BACKEND=memory
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SHOWSAVER_MESSAGE_LOG="$scratch/messages.jsonl"

convert -size 64x64 xc:orange "$scratch/orange.bmp"
cat > "$scratch/small.json" <<'JSON'
{"items": [
  {"class": "PictureItem", "name": "Orange", "file": {"path": "orange.bmp"}},
  {"class": "ShowPictureItem", "picture": "Orange"},
  {"class": "PauseItem", "duration": "3s"}
]}
JSON
"$build/showpack" build "$scratch/small.json" -o "$scratch/small" --engine "$build/showsaver" >/dev/null

run() {   # run NAME SAVER SECONDS: peak KiB of playing SAVER, ended after SECONDS
    /usr/bin/time -f %M -o "$scratch/$1.time" "$2" /s >"$scratch/$1.log" 2>&1 &
    timer=$!
    # The engine is GNU time's child: its maps, read half-way, show what it loaded.
    sleep $(( $3 / 2 ))
    engine=$(pgrep -P "$timer" | head -n 1 || true)
    [ -n "$engine" ] && grep -oE 'lib(avcodec|avformat|fluidsynth|mpg123|SDL2)[^/ ]*\.so[.0-9]*' \
        "/proc/$engine/maps" 2>/dev/null | sort -u | tr '\n' ' ' > "$scratch/$1.libs" || true
    waited=$(( $3 / 2 ))
    while kill -0 "$timer" 2>/dev/null && [ "$waited" -lt "$3" ]; do sleep 1; waited=$((waited + 1)); done
    engine=$(pgrep -P "$timer" | head -n 1 || true)
    [ -n "$engine" ] && kill "$engine" 2>/dev/null || true
    wait "$timer" 2>/dev/null || true
    tail -n 1 "$scratch/$1.time"
}

small=$(run small "$scratch/small" 8)
demo=$(run demo "$build/demo-show" 90)
printf 'small show: peak %d KiB; media libraries mapped: %s\n' "$small" "$(cat "$scratch/small.libs" 2>/dev/null)"
printf 'demo:       peak %d KiB; media libraries mapped: %s\n' "$demo" "$(cat "$scratch/demo.libs" 2>/dev/null)"
awk -v demo="$demo" 'BEGIN { printf "demo peak %.1f MB (goal: under 90 MB)\n", demo * 1024 / 1e6 }'
