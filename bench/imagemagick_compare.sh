#!/bin/sh
# Compares the batch's per-file time for the plain mark with ImageMagick's
# convert doing the same visible work on the same files (the mark with its
# white keyed out, composited at the bottom-right corner with a 50 %
# dissolve, written as JPEG at quality 90), both measured in this one run.
# Both run single-threaded, as the batch does.
#
#   bench/imagemagick_compare.sh [path/to/bench_batch] [bench_batch options]
#
# The default program is build/release/bin/bench_batch; options such as
# --count 5 or --width 2000 --height 1500 go to bench_batch unchanged.
set -eu

CONVERT=/usr/bin/convert
if [ ! -x "$CONVERT" ]; then
  echo "ImageMagick's $CONVERT is not installed (apt-get install imagemagick)" >&2
  exit 2
fi

BENCH=build/release/bin/bench_batch
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then
  BENCH=$1
  shift
fi

DIR=$(mktemp -d)
trap 'rm -rf "$DIR"' EXIT INT TERM

"$BENCH" --variant plain --dir "$DIR" "$@" | tee "$DIR/ours.txt"
OURS=$(awk '$1 == "plain" { print $6 }' "$DIR/ours.txt")
if [ -z "$OURS" ]; then
  echo "bench_batch printed no time for the plain mark" >&2
  exit 1
fi

: > "$DIR/im.txt"
for f in "$DIR"/in/*.jpg; do
  start=$(date +%s%N)
  MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 "$CONVERT" "$f" \( "$DIR/mark.bmp" -transparent white \) \
    -gravity southeast -compose dissolve -define compose:args=50 -composite -quality 90 "$DIR/out/im.jpeg"
  end=$(date +%s%N)
  echo $(( (end - start) / 1000 )) >> "$DIR/im.txt"
done

MEDIAN=$(sort -n "$DIR/im.txt" | awk '{ a[NR] = $1 } END { if (NR % 2) m = a[(NR + 1) / 2]; else m = (a[NR / 2] + a[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }')
echo
echo "ImageMagick convert, same work: median $MEDIAN ms/file"
awk -v o="$OURS" -v m="$MEDIAN" 'BEGIN { printf "ours/ImageMagick: %.3f (ours %.1f ms/file)\n", o / m, o }'
