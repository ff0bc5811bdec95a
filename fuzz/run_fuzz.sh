#!/usr/bin/env bash
# Runs one fuzz target for SECONDS on its corpus (seeds, then what earlier runs kept).
# Usage: run_fuzz.sh TARGET_BINARY NAME SECONDS WORK SOURCE_DIR [extra libFuzzer options]
set -euo pipefail
bin=$(realpath "$1") name=$2 seconds=$3 work=$(realpath -m "$4") src=$(realpath "$5")
shift 5
corpus="$work/corpus/$name"
mkdir -p "$corpus" "$work/artifacts/$name"
dict=()
[ -f "$src/$name.dict" ] && dict=(-dict="$src/$name.dict")
max_len=4096
[ "$name" = dicom ] && max_len=65536
if [ "$name" = import ]; then max_len=65536; dict=(-dict="$src/dicom.dict"); fi
[ "$name" = palette ] && max_len=8192
cd "$work"
exec "$bin" "$corpus" "$work/seeds/$name" "${dict[@]}" -max_total_time="$seconds" -max_len="$max_len" \
  -rss_limit_mb=4096 -timeout=60 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/$name/" "$@"
