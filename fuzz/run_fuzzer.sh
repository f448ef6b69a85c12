#!/bin/sh
# One fuzz target's run under ctest: every input kept in its regressions
# folder (fuzz/regressions/<target>/, when there is one) is run once, and
# any crash, leak or time-out there fails the test; then the fuzzer runs
# for a few seconds over the target's seed corpus.
#
# The kept inputs of its large-claims/ folder are small files that claim
# pictures of many megapixels their bytes cannot hold. They are run with
# the target's skip of large pictures off (large_claims.h) and no single
# allocation of 16 MB or more allowed: the readers must refuse them before
# allocating the picture.
#
# usage: run_fuzzer.sh FUZZER SECONDS SCRATCH_DIR SEED_DIR REGRESSION_DIR
set -eu
fuzzer=$1
seconds=$2
scratch=$3
seeds=$4
regressions=$5
limits="-timeout=10 -rss_limit_mb=2048"

if [ -d "$regressions" ]; then
  # Files only: a folder among the arguments would start a fuzzing run.
  # shellcheck disable=SC2086
  find "$regressions" -maxdepth 1 -type f ! -name '.*' -exec "$fuzzer" $limits {} +
fi

if [ -d "$regressions/large-claims" ]; then
  # shellcheck disable=SC2086
  find "$regressions/large-claims" -maxdepth 1 -type f ! -name '.*' \
    -exec env STAMPWISE_FUZZ_LARGE_CLAIMS=1 "$fuzzer" $limits -malloc_limit_mb=16 {} +
fi

mkdir -p "$scratch"
# shellcheck disable=SC2086
exec "$fuzzer" -max_total_time="$seconds" $limits "$scratch" "$seeds"
