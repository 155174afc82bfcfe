#!/bin/bash
# A render-farm job that converts a cache sequence with orv, one chunk of frames per array task.
# Submit it with the sequence and the chunk size in the environment, for 100 frames in chunks of
# ten:
#   SRC=cache/fire_####.orv DST=vdb/fire_####.vdb FIRST=1 CHUNK=10 \
#     sbatch --array=0-9 --cpus-per-task=4 scripts/farm-job.sh
# Task n converts frames FIRST + n*CHUNK to FIRST + n*CHUNK + CHUNK - 1. A chunk can be run again
# at any time (after a node failed, or with --requeue): every file is written under a hidden
# temporary name and renamed only once complete, so no partial .vdb ever stands under a frame's
# name, and --skip-existing leaves the frames a previous run finished. A frame that fails makes the
# task exit non-zero (2, or 3 when all failed), so the scheduler marks the task failed.
#SBATCH --job-name=orv-convert
#SBATCH --output=orv-convert-%A_%a.log
set -euo pipefail

task=${SLURM_ARRAY_TASK_ID:-0}
chunk=${CHUNK:-10}
first=$(( ${FIRST:-1} + task * chunk ))
last=$(( first + chunk - 1 ))

# As many threads as the task was given processors (orv's default is every processor it may use).
threads=()
if [[ -n "${SLURM_CPUS_PER_TASK:-}" ]]; then threads=(--threads "$SLURM_CPUS_PER_TASK"); fi

exec "${ORV:-orv}" convert "$SRC" "$DST" --frames "$first-$last" "${threads[@]}" --skip-existing
