#!/usr/bin/env bash
# Runs one fuzz target for SECONDS on its corpus (seeds, then what earlier runs kept).
# Usage: run_fuzz.sh TARGET_BINARY NAME SECONDS WORK SOURCE_DIR [extra libFuzzer options]
set -euo pipefail
bin=$(realpath "$1") name=$2 seconds=$3 work=$(realpath -m "$4") src=$(realpath "$5")
shift 5
corpus="$work/corpus/$name"
mkdir -p "$corpus" "$work/artifacts/$name"
# The header target starts from the DICOM seeds and dictionary.
kind=$name
[ "$name" = header ] && kind=dicom
dict=()
[ -f "$src/$kind.dict" ] && dict=(-dict="$src/$kind.dict")
max_len=4096
[ "$kind" = dicom ] && max_len=65536
[ "$name" = header ] && max_len=8192  # a header, cut anywhere: the walk costs a step per byte
if [ "$name" = import ]; then max_len=65536; dict=(-dict="$src/dicom.dict"); fi
[ "$name" = palette ] && max_len=8192
cd "$work"
exec "$bin" "$corpus" "$work/seeds/$kind" "${dict[@]}" -max_total_time="$seconds" -max_len="$max_len" \
  -rss_limit_mb=4096 -timeout=60 -close_fd_mask=3 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/$name/" "$@"
