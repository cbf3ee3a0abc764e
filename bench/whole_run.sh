#!/usr/bin/env bash
# Times whole runs of the program at 30 traits - the optimized procedure and the fixed
# one - against an empty C++ program, with hyperfine, and then runs the in-process
# search and its arithmetic floor from vcshrink_bench, so that every ratio of the
# README's benchmark table comes from one sitting.
# usage: bench/whole_run.sh [BUILD-DIR] [RUNS]   (default: build, 50 runs each)
# Needs hyperfine (Debian: apt-get install hyperfine) and a build with the program and,
# for the in-process figures, vcshrink_bench.
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-50}
exe=$build/vcshrink
bench=$build/vcshrink_bench
if ! command -v hyperfine >/dev/null; then
  echo "whole_run.sh: hyperfine is missing; install it with: apt-get install hyperfine" >&2
  exit 2
fi
[ -x "$exe" ] || { echo "whole_run.sh: no program at $exe; build it first" >&2; exit 2; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

# A 30-trait input file: genetic and residual matrices with small off-diagonal
# covariances (positive definite), and a prior of heritability 0.3, correlation 0.2.
awk 'BEGIN {
  n = 30
  print "Thirty traits, whole-run benchmark"
  print n
  for (i = 1; i <= n; i++) { s = ""; for (j = 1; j <= i; j++) s = s sprintf(" %.4f", i == j ? 1 + 0.05 * i : 0.02 * cos(i * 7 + j * 3)); print s }
  for (i = 1; i <= n; i++) { s = ""; for (j = 1; j <= i; j++) s = s sprintf(" %.4f", i == j ? 3 + 0.1 * i : 0.05 * sin(i * 5 + j * 11)); print s }
  for (i = 1; i <= n; i++) { s = ""; for (j = 1; j <= i; j++) s = s sprintf(" %.2f", i == j ? 0.3 : 0.2); print s }
}' >thirty.dat
printf 'thirty.dat\noptimized.out\n0.25\n1\n1\n' >optimized.answers
printf 'thirty.dat\nfixed.out\n0.25\n2\n0.3\n' >fixed.answers
echo 'int main() { return 0; }' >empty.cpp
"${CXX:-c++}" -O2 -o empty empty.cpp
# The program reads its answers from the standard input: a small launcher puts a file
# there and executes the command, so that no shell runs in the timed process. The
# empty process goes through the same launcher.
cat >with_input.c <<'EOF_C'
#include <fcntl.h>
#include <unistd.h>
int main(int argc, char** argv) {
  if (argc < 3) return 2;
  int fd = open(argv[1], O_RDONLY);
  if (fd < 0 || dup2(fd, 0) < 0) return 2;
  close(fd);
  execv(argv[2], argv + 2);
  return 2;
}
EOF_C
"${CC:-cc}" -O2 -o with_input with_input.c

# Each answer file runs once first, so that a run that fails shows its message here.
for procedure in optimized fixed; do
  "$exe" <"$procedure.answers" >/dev/null 2>&1 || { echo "whole_run.sh: the $procedure run failed" >&2; exit 1; }
done

hyperfine -N --warmup 5 --runs "$runs" --export-csv whole.csv --output=null \
  -n empty "./with_input /dev/null ./empty" \
  -n fixed "./with_input fixed.answers $exe" \
  -n optimized "./with_input optimized.answers $exe"

median() { awk -F, -v n="$1" '$1 == n { printf "%.3f", $4 * 1000 }' whole.csv; }
cpu() { awk -F, -v n="$1" '$1 == n { printf "%.3f", ($5 + $6) * 1000 }' whole.csv; }  # mean user + system
empty_ms=$(median empty)
fixed_ms=$(median fixed)
optimized_ms=$(median optimized)
echo
echo "median of $runs runs: empty process $empty_ms ms, fixed run $fixed_ms ms, optimized run $optimized_ms ms"
echo "mean processor time (user + system): empty $(cpu empty) ms, fixed $(cpu fixed) ms, optimized $(cpu optimized) ms"
awk -v f="$fixed_ms" -v e="$empty_ms" -v fc="$(cpu fixed)" -v ec="$(cpu empty)" 'BEGIN {
  printf "fixed run / empty process: %.2f wall, %.2f processor time (target <= 2)\n", f / e, fc / ec }'

if [ -x "$bench" ]; then
  "$bench" --benchmark_filter='search_floor|BM_optimize_bending/30|write_report' --benchmark_repetitions=5 \
    --benchmark_report_aggregates_only=true --benchmark_color=false 2>/dev/null >inproc.txt
  cat inproc.txt
  # The median's wall time in milliseconds, from the console table.
  wall_ms() { awk -v n="$1_median" '$1 == n { t = $2; if ($3 == "us") t /= 1000; if ($3 == "ns") t /= 1e6; printf "%.3f", t }' inproc.txt; }
  search_ms=$(wall_ms BM_optimize_bending/30)
  floor_ms=$(wall_ms BM_search_floor_nt30)
  report_ms=$(wall_ms BM_write_report_nt30)
  cpu_ms() { awk -v n="$1_median" '$1 == n { t = $4; if ($5 == "us") t /= 1000; if ($5 == "ns") t /= 1e6; printf "%.3f", t }' inproc.txt; }
  echo "in-process medians: search $search_ms ms wall / $(cpu_ms BM_optimize_bending/30) ms processor," \
    "floor $floor_ms / $(cpu_ms BM_search_floor_nt30) ms, report $report_ms / $(cpu_ms BM_write_report_nt30) ms"
  awk -v o="$optimized_ms" -v oc="$(cpu optimized)" -v s="$search_ms" -v sc="$(cpu_ms BM_optimize_bending/30)" \
      -v f="$floor_ms" -v fc="$(cpu_ms BM_search_floor_nt30)" -v r="$report_ms" -v rc="$(cpu_ms BM_write_report_nt30)" 'BEGIN {
    printf "optimized run / search: %.2f wall, %.2f processor time (target <= 1.15)\n", o / s, oc / sc
    printf "search / floor: %.2f wall, %.2f processor time (target <= 1.15)\n", s / f, sc / fc
    printf "report / search: %.3f wall, %.3f processor time (target <= 0.05)\n", r / s, rc / sc
  }'
fi
