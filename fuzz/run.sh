#!/usr/bin/env bash
# Fuzzes the whole dump for SECONDS seconds in one process.
#
#   fuzz/run.sh SECONDS [extra libFuzzer flags]
#
# Builds the `fuzz` preset (clang, libFuzzer, ASan, UBSan) in build/fuzz, then
# runs the target on a working corpus in fuzz/findings/corpus, seeded with the
# committed corpus fuzz/corpus, the example files examples/*.wmv, the test
# files in tests/data and, when present, the real-world files in
# ../shared/samples/asf. Crashes, sanitizer
# reports, timeouts and output-bound violations are written to fuzz/findings/
# (git-ignored) as crash-*, timeout-*, oom-* and leak-* files.
#
# -max_len=1024: the dump is linear in the input but its constant is large:
# an other-form packet at every byte, each listing 255 segments, costs about
# 0.7 ms of sanitized run time per input byte. Inputs of a few KiB full of
# one-byte packets take seconds each, and a corpus of them slowed a run with
# 6 KiB inputs to a few executions per second. At 1 KiB the worst case stays
# under a second, far inside -timeout=10 on a busy machine; longer seeds are
# cut to that length, which still holds the header objects and first packets
# of files with small headers. The hostile-file tests cover long inputs.
# -entropic_scale_per_exec_time=1 favours the quick inputs for the same reason.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 1 ] || ! [[ $1 =~ ^[0-9]+$ ]]; then
  echo "usage: fuzz/run.sh SECONDS [libFuzzer flags]" >&2
  exit 2
fi
seconds=$1
shift

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2

findings=fuzz/findings
seeds=$findings/seeds
mkdir -p "$findings/corpus" "$seeds"
for f in examples/*.wmv tests/data/*.asf tests/data/*.wma tests/data/*.wmv ../shared/samples/asf/*; do
  if [ -f "$f" ]; then cp -f "$f" "$seeds/"; fi
done

exec build/fuzz/fuzz/asfinspect_fuzz \
  -max_total_time="$seconds" -timeout=10 -max_len=1024 -entropic_scale_per_exec_time=1 \
  -artifact_prefix="$findings/" -print_final_stats=1 "$@" \
  "$findings/corpus" fuzz/corpus "$seeds"
