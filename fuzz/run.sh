#!/usr/bin/env bash
# Fuzzes the input-file reader and the console dialogue for a bounded time.
# usage: fuzz/run.sh [SECONDS]   (default 60, shared among the targets)
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz (or $VCSHRINK_FUZZ_BUILD) and runs each from the seeds in fuzz/corpus.
# Exits non-zero on any crash, hang (over 5 s for one input), leak or sanitizer report;
# the input that caused it is kept under <build>/artifacts.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${VCSHRINK_FUZZ_BUILD:-$root/build-fuzz}
targets=(fuzz_input_file fuzz_dialogue)

# Coverage instrumentation for the libraries too, so the fuzzer sees inside the readers.
CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVCSHRINK_FUZZ=ON -DVCSHRINK_SANITIZE=ON -DVCSHRINK_TESTS=OFF -DVCSHRINK_BENCH=OFF \
  -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}"

per=$((seconds / ${#targets[@]}))
[ "$per" -ge 1 ] || per=1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"
for t in "${targets[@]}"; do
  mkdir -p "$work/$t"
  echo "== $t for ${per}s"
  # New inputs go to the scratch corpus (first directory); the seeds stay as they are.
  if ! "$build/$t" -max_total_time="$per" -timeout=5 -rss_limit_mb=2048 -max_len=8192 \
      -artifact_prefix="$build/artifacts/$t-" "$work/$t" "$root/fuzz/corpus/$t" >"$work/$t.log" 2>&1; then
    tail -n 60 "$work/$t.log"
    echo "== $t FAILED; the input is under $build/artifacts" >&2
    exit 1
  fi
  grep -E '^Done|^#[0-9]+.*DONE' "$work/$t.log" | tail -n 1 || true
done
echo "== fuzzing found nothing"
