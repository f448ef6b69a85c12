#!/usr/bin/env bash
# A fuzzing campaign: every fuzz target runs for SECONDS (eight at a time)
# over a working copy of its seed corpus, with the limits a finding is judged by: an input that takes over 2 s is
# a hang, one that needs over 512 MB is out of memory. The address
# sanitizer keeps 64 MB of freed memory to catch use after free (not its
# default 256 MB, which alone brought a long run of the GIF target past
# 512 MB with no input needing more than 140 MB). A target that stops
# on a finding is started again until its time is used up, so one crash
# does not end its share of the campaign.
#
# Prints one line per target: executions, executions per second of the
# target's own processor time and of the wall clock, coverage (edges and
# features at the end) and findings (crash, leak, timeout, oom, and
# "report": runs whose log holds a sanitizer's report, such as undefined
# behaviour's "runtime error:", but that kept no input for it). Findings
# are kept in build/campaign/<target>/findings/; a mended one is copied to
# fuzz/regressions/<target>/ so that every test run replays it (with the
# test run's own limits: some kept inputs are large on purpose, to keep
# work linear in their size, and are not fuzzing seeds).
#
# usage: fuzz/run-campaign.sh SECONDS [TARGET...]
#   FUZZ_BIN  folder of the fuzz targets (default build/fuzz/bin)
#   JOBS      targets run at once (default 8; 4 on a shared machine)
#   OUT       working folder (default build/campaign)
#   MAX_LEN   the largest input the fuzzer makes (default: libFuzzer's
#             own, the largest seed or 4096 bytes); MAX_LEN=1024 gives the
#             rates on small inputs
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
bin=${FUZZ_BIN:-build/fuzz/bin}
jobs=${JOBS:-8}
out=${OUT:-build/campaign}
max_len=${MAX_LEN:-}
if [ -n "$max_len" ] && ! [[ $max_len =~ ^[0-9]+$ ]]; then
  echo "MAX_LEN must be a number of bytes" >&2
  exit 2
fi

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for f in "$bin"/fuzz_*; do
    [ -x "$f" ] && targets+=("$(basename "$f")")
  done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in $bin (cmake --preset fuzz && cmake --build --preset fuzz)" >&2
  exit 2
fi

# One target's share: runs until its time is used up and writes its
# figures to $dir/result.
run_target() {
  local target=$1 dir=$out/$1
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/findings"
  cp fuzz/corpus/"$target"/* "$dir/corpus/" 2>/dev/null || true
  local start now left execs=0 cpu=0 cov=0 ft=0 runs=0 reports=0
  start=$(date +%s)
  while :; do
    now=$(date +%s)
    left=$((seconds - (now - start)))
    [ "$left" -gt 0 ] || break
    runs=$((runs + 1))
    /usr/bin/time -f '%U %S' -o "$dir/time.$runs" \
      env ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0:quarantine_size_mb=64 \
      "$bin/$target" -max_total_time="$left" -timeout=2 -rss_limit_mb=512 ${max_len:+-max_len="$max_len"} \
      -malloc_limit_mb=512 -print_final_stats=1 -artifact_prefix="$dir/findings/" \
      "$dir/corpus" >"$dir/log.$runs" 2>&1 || true
    local n c
    n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log.$runs" | tail -1)
    execs=$((execs + ${n:-0}))
    c=$(awk '{print $1 + $2}' "$dir/time.$runs" 2>/dev/null | tail -1)
    cpu=$(awk -v a="$cpu" -v b="${c:-0}" 'BEGIN {print a + b}')
    local line
    line=$(grep -E '^#[0-9]+.*cov: ' "$dir/log.$runs" | tail -1 || true)
    if [ -n "$line" ]; then
      cov=$(sed 's/.*cov: \([0-9]*\).*/\1/' <<<"$line")
      ft=$(sed 's/.*ft: \([0-9]*\).*/\1/' <<<"$line")
    fi
    # A sanitizer that reported and let the run go on kept no input: the
    # report itself is the finding.
    local reported=0
    grep -qE "$sanitizer_report" "$dir/log.$runs" && reported=1
    if [ "$reported" -eq 1 ] && ! grep -q 'Test unit written' "$dir/log.$runs"; then
      reports=$((reports + 1))
    fi
    # A run that ended without a finding used its time.
    [ "$reported" -eq 1 ] || grep -qE '^==[0-9]+== ERROR|^SUMMARY|Test unit written' "$dir/log.$runs" || break
  done
  local wall=$(($(date +%s) - start))
  local crash leak timeout oom
  crash=$(find "$dir/findings" -name 'crash-*' | wc -l)
  leak=$(find "$dir/findings" -name 'leak-*' | wc -l)
  timeout=$(find "$dir/findings" -name 'timeout-*' -o -name 'slow-unit-*' | wc -l)
  oom=$(find "$dir/findings" -name 'oom-*' | wc -l)
  awk -v t="$target" -v e="$execs" -v cpu="$cpu" -v w="$wall" -v c="$cov" -v f="$ft" \
    -v cr="$crash" -v l="$leak" -v to="$timeout" -v o="$oom" -v rp="$reports" -v r="$runs" 'BEGIN {
      printf "%-28s %12d %9.0f %9.0f %7d %8d %5d %4d %7d %4d %6d %4d\n", t, e, (cpu > 0 ? e / cpu : 0),
             (w > 0 ? e / w : 0), c, f, cr, l, to, o, rp, r
    }' >"$dir/result"
}

# What a sanitizer prints when it reports: undefined behaviour (also where
# it may go on), the address and leak sanitizers, and libFuzzer's own
# deadly signals, time-outs and memory limits.
sanitizer_report='runtime error:|ERROR: (AddressSanitizer|LeakSanitizer|UndefinedBehaviorSanitizer|MemorySanitizer|libFuzzer)|WARNING: (ThreadSanitizer|MemorySanitizer)'

export -f run_target
export seconds bin out max_len sanitizer_report
mkdir -p "$out"
echo "campaign: ${#targets[@]} targets, ${seconds} s each, $jobs at a time${max_len:+, inputs up to $max_len bytes}, findings in $out/<target>/findings"
printf '%s\n' "${targets[@]}" | xargs -P "$jobs" -I{} bash -c 'run_target "$1"' _ {}

printf "%-28s %12s %9s %9s %7s %8s %5s %4s %7s %4s %6s %4s\n" target executions exec/cpu-s exec/s \
  cov ft crash leak timeout oom report runs
total=0
found=0
for target in "${targets[@]}"; do
  cat "$out/$target/result"
  read -r _ e _ _ _ _ cr l to o rp _ <"$out/$target/result"
  total=$((total + e))
  found=$((found + cr + l + to + o + rp))
done
echo "total executions: $total; findings: $found"
[ "$found" -eq 0 ]
