#!/usr/bin/env bash
# Seed corpora for the fuzz targets: make_seeds' files, plus pydicom's shipped test
# files (those under 64 KiB) for the DICOM target. Usage: prepare_corpus.sh MAKE_SEEDS WORK
set -euo pipefail
make_seeds=$1
work=$2
rm -rf "$work/seeds"
mkdir -p "$work/seeds"
"$make_seeds" "$work/seeds"
pydicom_files=$(/usr/bin/python3 -c 'import os, pydicom; print(os.path.join(os.path.dirname(pydicom.__file__), "data", "test_files"))')
n=0
while IFS= read -r -d '' f; do
  cp "$f" "$work/seeds/dicom/pydicom-$n-$(basename "$f")"
  n=$((n + 1))
done < <(find "$pydicom_files" -type f -size -64k -print0)
# The import's seeds: the same files, and the small ones in every syntax DCMTK's tools write.
mkdir -p "$work/seeds/import"
cp "$work/seeds/dicom/"* "$work/seeds/import/"
if command -v dcmcjpeg >/dev/null && command -v dcmcjpls >/dev/null && command -v dcmcrle >/dev/null; then
  for f in $(find "$work/seeds/dicom" -type f -size -20k -name '*.dcm' | head -4); do
    b=$(basename "$f" .dcm)
    for tool in "dcmconv +ti" "dcmconv +tb" "dcmconv +td" "dcmcjpeg +e1" "dcmcjpeg +eb" "dcmcjpls +el" "dcmcjpls +en" "dcmcrle"; do
      $tool "$f" "$work/seeds/import/$b-${tool// /}.dcm" 2>/dev/null || true
    done
  done
fi
echo "seeds: $(find "$work/seeds" -type f | wc -l) files ($n from pydicom)"
