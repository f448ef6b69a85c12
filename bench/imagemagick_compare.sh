#!/bin/sh
# Compares the batch's per-file time for the plain mark with ImageMagick's
# convert doing the same visible work on the same files (the mark with its
# white keyed out, composited at the bottom-right corner with a 50 %
# dissolve, written as JPEG at quality 90), and, when libvips' `vips` is
# installed (Debian's libvips-tools; it is no dependency of the program),
# with libvips compositing the same mark (white keyed out, alpha one half)
# over each file. First one file at a time: our per-file work against one
# single-threaded process per file, ImageMagick and libvips taking turns
# file by file. Then on every core: our batch on N workers against N
# single-threaded processes at once (xargs -P N) over the same files,
# each round timed whole. N is bench_batch's --threads (default: the
# machine's cores).
#
#   bench/imagemagick_compare.sh [path/to/bench_batch] [bench_batch options]
#
# The default program is build/release/bin/bench_batch; options such as
# --count 5, --rounds 3, --threads 4 or --width 2000 --height 1500 go to
# bench_batch unchanged.
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

# On every core: N processes at once over all the files, each round
# timed whole and divided by the files.
THREADS=$(awk '/^workers [0-9]+\/1:/ { split($2, n, "/"); print n[1] }' "$DIR/ours.txt")
OURS_N=$(awk -v n="$THREADS" '$1 == "run" && $2 == n { print $3 }' "$DIR/ours.txt")
FILES=$(ls "$DIR"/in/*.jpg | wc -l)
mkdir -p "$DIR/outp"
: > "$DIR/imp.txt"
: > "$DIR/vipsp.txt"
if [ -n "$VIPS" ]; then
  first=$(ls "$DIR"/in/*.jpg | head -n 1)
  X=$(( $(vipsheader -f width "$first") - 600 ))
  Y=$(( $(vipsheader -f height "$first") - 200 ))
fi
export CONVERT VIPS DIR X Y
round=0
while [ -n "$THREADS" ] && [ "$round" -lt "$ROUNDS" ]; do
  start=$(now_us)
  ls "$DIR"/in/*.jpg | MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1 xargs -P "$THREADS" -I{} sh -c \
    '"$CONVERT" "$1" \( "$DIR/mark.bmp" -transparent white \) -gravity southeast -compose dissolve \
       -define compose:args=50 -composite -quality 90 "$DIR/outp/im-$(basename "$1" .jpg).jpeg"' sh {}
  echo $(( ($(now_us) - start) / FILES )) >> "$DIR/imp.txt"
  if [ -n "$VIPS" ]; then
    start=$(now_us)
    ls "$DIR"/in/*.jpg | VIPS_CONCURRENCY=1 xargs -P "$THREADS" -I{} sh -c \
      '"$VIPS" composite2 "$1" "$DIR/mark.png" "$DIR/outp/vips-$(basename "$1" .jpg).jpeg[Q=90]" over --x "$X" --y "$Y"' sh {}
    echo $(( ($(now_us) - start) / FILES )) >> "$DIR/vipsp.txt"
  fi
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
if [ -n "$THREADS" ] && [ -n "$OURS_N" ]; then
  echo
  echo "on $THREADS cores: ours on $THREADS workers $OURS_N ms/file"
  IMP=$(median_ms "$DIR/imp.txt")
  echo "ImageMagick, $THREADS processes at once: median $IMP ms/file"
  awk -v o="$OURS_N" -v m="$IMP" -v n="$THREADS" 'BEGIN { printf "ours (%d workers)/ImageMagick (%d processes): %.3f\n", n, n, o / m }'
  if [ -n "$VIPS" ]; then
    VIP=$(median_ms "$DIR/vipsp.txt")
    echo "libvips one thread each, $THREADS processes at once: median $VIP ms/file"
    awk -v o="$OURS_N" -v m="$VIP" -v n="$THREADS" 'BEGIN { printf "ours (%d workers)/libvips (%d processes): %.3f\n", n, n, o / m }'
  fi
fi
