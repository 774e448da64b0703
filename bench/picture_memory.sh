#!/bin/sh
# How many decoded pictures a show of large JPEGs holds at once: the peak
# resident memory of rendering a show of ten 6000 x 4000 JPEGs (each shown,
# paused on and hidden in turn, at its own size and fitted to the screen)
# less the peak of the same show with 60 x 40 pictures, in units of one
# decoded picture (6000 x 4000 x 4 bytes). Goal: at most 1 beyond the
# screen's surface. The render plays the show as the engine does, into a
# memory screen of 1280 x 800.
#
#   bench/picture_memory.sh [BUILD_DIR]     (default: build)
#
# Needs ImageMagick's convert and GNU time.
set -eu
build=$(cd "${1:-build}" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT INT TERM

show() {   # show NAME PICTURE: ten items of PICTURE, each shown and hidden
    {
        echo '{"items": ['
        for i in 0 1 2 3 4 5 6 7 8 9; do
            echo "{\"class\": \"PictureItem\", \"name\": \"P$i\", \"file\": {\"path\": \"$2\"}, \"fitToScreen\": $((i % 2))},"
        done
        for i in 0 1 2 3 4 5 6 7 8 9; do
            echo "{\"class\": \"ShowPictureItem\", \"picture\": \"P$i\"},"
            echo '{"class": "PauseItem", "duration": "100ms"},'
            echo "{\"class\": \"HidePictureItem\", \"picture\": \"P$i\"},"
        done
        echo '{"class": "PauseItem", "duration": "100ms"}]}'
    } > "$scratch/$1.json"
    "$build/showpack" build "$scratch/$1.json" -o "$scratch/$1.show" --no-check >/dev/null
}
peak() {   # the peak resident kilobytes of rendering a show
    /usr/bin/time -f %M -o "$scratch/time" "$build/showpack" render "$scratch/$1.show" --size 1280x800 \
        --out "$scratch/out-$1" --fast >/dev/null
    cat "$scratch/time"
}

convert -size 6000x4000 gradient:orange-navy -quality 90 "$scratch/large.jpg"
convert -size 60x40 gradient:orange-navy -quality 90 "$scratch/small.jpg"
show large large.jpg
show small small.jpg
large=$(peak large)
small=$(peak small)
awk -v large="$large" -v small="$small" 'BEGIN {
    picture = 6000 * 4000 * 4 / 1024
    printf "peak %d KiB with 6000 x 4000 pictures, %d KiB with 60 x 40 ones\n", large, small
    printf "decoded pictures held at once: %.2f (goal <= 1)\n", (large - small) / picture
}'
