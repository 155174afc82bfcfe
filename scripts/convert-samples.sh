#!/usr/bin/env bash
# Converts the bundled sample frames to .vdb files with orvconvert, printing its own progress, then
# a short summary of each output file (grid names, active voxel counts, value ranges) read back
# with vdb_print. A sequence name_NNNN.orv (four-digit frame numbers) is converted as one frame
# range; any other .orv file is converted on its own.
# Usage: convert-samples.sh <orvconvert> <samples folder> <output folder>
set -euo pipefail

converter=$1
samples=$2
output=$3

shopt -s nullglob
files=("$samples"/*.orv)
if [[ ${#files[@]} -eq 0 ]]; then
  echo "No sample frames in $samples/ yet: nothing to convert."
  exit 0
fi
mkdir -p "$output"

declare -A first last
singles=()
for file in "${files[@]}"; do
  name=$(basename "$file" .orv)
  if [[ "$name" =~ ^(.*_)([0-9]{4})$ ]]; then
    prefix=${BASH_REMATCH[1]}
    frame=$((10#${BASH_REMATCH[2]}))
    if [[ -z "${first[$prefix]+set}" ]] || ((frame < first[$prefix])); then first[$prefix]=$frame; fi
    if [[ -z "${last[$prefix]+set}" ]] || ((frame > last[$prefix])); then last[$prefix]=$frame; fi
  else
    singles+=("$file")
  fi
done

for prefix in $(printf '%s\n' "${!first[@]}" | sort); do
  echo "Sequence $samples/${prefix}####.orv, frames ${first[$prefix]} to ${last[$prefix]}:"
  "$converter" -srcfile "$samples/${prefix}####.orv" -dstfile "$output/${prefix}####.vdb" \
    -start "${first[$prefix]}" -end "${last[$prefix]}"
done
for file in "${singles[@]}"; do
  "$converter" -srcfile "$file" -dstfile "$output/$(basename "$file" .orv).vdb"
done

# One line per grid from vdb_print's long listing: name, active voxels, value range.
summarise() {
  vdb_print -l "$1" | awk '
    /^Name: /                      { name = $2 }
    /^  Min value: /               { low = $3 }
    /^  Max value: /               { high = $3 }
    /^  Number of active voxels: / { voxels = $5 }
    /^Memory footprint:/           { printf "  %-16s %12s active voxels, values %s to %s\n", name, voxels, low, high }'
}

echo "Output written to $output/"
if ! command -v vdb_print >/dev/null 2>&1; then
  echo "vdb_print not found (Debian package libopenvdb-tools): no summary"
  exit 0
fi
for vdb in "$output"/*.vdb; do
  echo "$(basename "$vdb") (grids in name order):"
  summarise "$vdb"
done
