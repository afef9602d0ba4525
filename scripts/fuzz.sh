#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time
# (seconds, default 60). Skips when clang is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ not installed, skipped"
  exit 0
fi
bash scripts/build.sh fuzz
shopt -s nullglob
targets=(build/fuzz/tests/fuzz/*_fuzz)
for t in "${targets[@]}"; do
  name=$(basename "$t")
  corpus="build/fuzz/corpus/$name"
  mkdir -p "$corpus"
  echo "fuzz: $name for ${seconds}s"
  "$t" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" 2>"build/fuzz/$name.log" || { tail -50 "build/fuzz/$name.log"; exit 1; }
done
echo "fuzz: ${#targets[@]} targets ran clean"
