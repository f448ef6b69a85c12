#!/bin/sh
# Compares the batch's per-file time for the plain mark with ImageMagick's
# convert doing the same visible work on the same files (the mark with its
# white keyed out, composited at the bottom-right corner with a 50 %
# dissolve, written as JPEG at quality 90), and, when libvips' `vips` is
# installed (Debian's libvips-tools; it is no dependency of the program),
# with libvips compositing the same mark (white keyed out, alpha one half)
# over each file. All run single-threaded, as the batch does, in this one
# run on the same files; ImageMagick and libvips take turns file by file.
#
#   bench/imagemagick_compare.sh [path/to/bench_batch] [bench_batch options]
#
# The default program is build/release/bin/bench_batch; options such as
# --count 5, --rounds 3 or --width 2000 --height 1500 go to bench_batch
# unchanged.
set -eu

CONVERT=/usr/bin/convert
if [ ! -x "$CONVERT" ]; then
  echo "ImageMagick's $CONVERT is not installed (apt-get install imagemagick)" >&2
  exit 2
fi
VIPS=$(command -v vips || true)

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
ROUNDS=$(awk '/^\(milliseconds per file/ { for (i = 1; i <= NF; ++i) if ($i == "rounds;") print $(i - 1) }' "$DIR/ours.txt")
ROUNDS=${ROUNDS:-1}

# The mark for libvips: white keyed out, every other pixel at half alpha.
if [ -n "$VIPS" ]; then
  "$CONVERT" "$DIR/mark.bmp" -transparent white -channel A -evaluate multiply 0.5 +channel "$DIR/mark.png"
fi

now_us() { echo $(( $(date +%s%N) / 1000 )); }
median_ms() {
  sort -n "$1" | awk '{ a[NR] = $1 } END { if (NR % 2) m = a[(NR + 1) / 2]; else m = (a[NR / 2] + a[NR / 2 + 1]) / 2; printf "%.1f", m / 1000 }'
}

: > "$DIR/im.txt"
: > "$DIR/vips.txt"
round=0
while [ "$round" -lt "$ROUNDS" ]; do
  for f in "$DIR"/in/*.jpg; do
    start=$(now_us)
    MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 "$CONVERT" "$f" \( "$DIR/mark.bmp" -transparent white \) \
      -gravity southeast -compose dissolve -define compose:args=50 -composite -quality 90 "$DIR/out/im.jpeg"
    echo $(( $(now_us) - start )) >> "$DIR/im.txt"
    if [ -n "$VIPS" ]; then
      width=$(vipsheader -f width "$f")
      height=$(vipsheader -f height "$f")
      start=$(now_us)
      VIPS_CONCURRENCY=1 "$VIPS" composite2 "$f" "$DIR/mark.png" "$DIR/out/vips.jpeg[Q=90]" over \
        --x $(( width - 600 )) --y $(( height - 200 ))
      echo $(( $(now_us) - start )) >> "$DIR/vips.txt"
    fi
  done
  round=$(( round + 1 ))
done

IM=$(median_ms "$DIR/im.txt")
echo
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "ImageMagick convert, same work: median $IM ms/file"
awk -v o="$OURS" -v m="$IM" 'BEGIN { printf "ours/ImageMagick: %.3f (ours %.1f ms/file)\n", o / m, o }'
if [ -n "$VIPS" ]; then
  VI=$(median_ms "$DIR/vips.txt")
  echo "libvips one thread, same work: median $VI ms/file"
  awk -v o="$OURS" -v m="$VI" 'BEGIN { printf "ours/libvips: %.3f (ours %.1f ms/file)\n", o / m, o }'
else
  echo "libvips: vips is not installed (apt-get install libvips-tools); skipped"
fi
