#!/usr/bin/env bash
# Records what a build of the program does on one golden case: runs it in a scratch
# copy of tests/e2e/cases/NAME and writes expected.stdout, expected.stderr,
# expected.status and expected.files/ (the files named there already, or REPORT).
# Read every recorded byte before committing a case: the recording is the claim.
# usage: tests/e2e/record_case.sh PROGRAM NAME [REPORT-FILE-NAME]
set -euo pipefail
exe=$(realpath "$1"); name=$2; report=${3:-}
case_dir=$(realpath "$(dirname "$0")")/cases/$name
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
for f in "$case_dir"/*; do
  b=$(basename "$f")
  [[ $b == stdin || $b == expected* ]] || cp -r "$f" "$tmp/"
done
set +e
(cd "$tmp" && "$exe" <"$case_dir/stdin" >"$tmp/.stdout" 2>"$tmp/.stderr")
echo $? >"$case_dir/expected.status"
set -e
cp "$tmp/.stdout" "$case_dir/expected.stdout"
cp "$tmp/.stderr" "$case_dir/expected.stderr"
mkdir -p "$case_dir/expected.files"
[ -n "$report" ] && : >"$case_dir/expected.files/$report"
for f in "$case_dir"/expected.files/*; do
  [ -e "$f" ] || continue
  b=$(basename "$f")
  if [ -e "$tmp/$b" ]; then cp "$tmp/$b" "$f"; else echo "missing after the run: $b" >&2; fi
done
rmdir "$case_dir/expected.files" 2>/dev/null || true
