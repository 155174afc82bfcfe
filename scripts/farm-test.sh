#!/usr/bin/env bash
# Runs the render-farm example of the README for real: a one-node Slurm cluster (Debian's slurm-wlm
# and munge, installed when missing) is started with a private configuration, the sample sequence
# is converted by scripts/farm-job.sh as an array job of one chunk of frames per task, and every
# output is checked. Then a chunk is run again after one of its frames was lost, and a chunk with a
# damaged frame must fail its task without leaving a file under that frame's name. The cluster is
# torn down at the end, whatever happened. Needs root (the daemons run as root; re-run through
# sudo otherwise). Every step that waits on a daemon or a job has a time limit, so a cluster that
# cannot start fails the test instead of hanging it.
# Usage: farm-test.sh <orv binary> <samples folder>
set -euo pipefail

orv=$(realpath "$1")
samples=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
job="$here/farm-job.sh"

fail() {
  echo "farm-test: FAILED: $*" >&2
  exit 1
}

if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null 2>&1 || fail "needs root to run the Slurm and munge daemons"
  exec sudo bash "$0" "$@"
fi
missing=()
for package in slurm-wlm munge; do
  if [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true) != "install ok installed" ]]; then
    missing+=("$package")
  fi
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "farm-test: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update </dev/null
  apt-get install -y --no-install-recommends "${missing[@]}" </dev/null
fi

work=$(mktemp -d /tmp/orv-farm.XXXXXX)
chmod 755 "$work"
pids=()
teardown() {
  # Jobs still running (a submission that timed out) are cancelled while the daemons are up.
  if [[ -n "${SLURM_CONF:-}" && ${#pids[@]} -ge 2 ]]; then
    timeout 10 scancel --quiet --partition=farm 2>/dev/null || true
    for _ in $(seq 50); do
      [[ -z $(timeout 5 squeue -h -o %i 2>/dev/null) ]] && break
      sleep 0.2
    done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  done
  rm -rf "$work"
}
trap teardown EXIT
trap 'exit 1' INT TERM

start_daemon() {  # start_daemon <name> <pid file> <log file> <command...>
  local name=$1 pidfile=$2 log=$3
  shift 3
  timeout 20 "$@" || fail "$name did not start: $(tail -5 "$log" 2>/dev/null)"
  for _ in $(seq 100); do [[ -s "$pidfile" ]] && break; sleep 0.1; done
  [[ -s "$pidfile" ]] || fail "$name wrote no pid file: $(tail -5 "$log" 2>/dev/null)"
  pids+=("$(cat "$pidfile")")
}

# munge: a key and a socket of this test's own.
mkdir -p "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 700 "$work/munge"
chmod 400 "$work/munge/munge.key"
start_daemon munged "$work/munge/munged.pid" "$work/munge/munged.log" \
  munged --force --key-file="$work/munge/munge.key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
  --seed-file="$work/munge/seed"

# Slurm: one node with every processor of this machine, on ports of its own (away from a system
# cluster's and, by chance, from another run's).
node=orvfarm
port=$(( 20000 + RANDOM % 20000 ))
mkdir -p "$work/state" "$work/spool"
cat >"$work/slurm.conf" <<CONF
ClusterName=orvfarm
SlurmctldHost=$(hostname -s)(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$(( port + 1 ))
SlurmctldTimeout=10
SlurmdTimeout=10
MessageTimeout=5
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
NodeName=$node NodeHostname=$(hostname -s) NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=farm Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"
start_daemon slurmctld "$work/slurmctld.pid" "$work/slurmctld.log" slurmctld -f "$SLURM_CONF"
start_daemon slurmd "$work/slurmd.pid" "$work/slurmd.log" slurmd -f "$SLURM_CONF" -N "$node"
node_state() { timeout 5 sinfo -h -n "$node" -o %t 2>/dev/null || true; }
for _ in $(seq 150); do
  [[ $(node_state) == idle ]] && break
  sleep 0.2
done
[[ $(node_state) == idle ]] || fail "the node did not come up: $(tail -5 "$work/slurmd.log")"
echo "farm-test: one-node cluster up ($(nproc) processors)"

# The sample sequence, converted in chunks of two frames: array tasks 0, 1, 2.
mkdir -p "$work/cache"
cp "$samples"/fire_000[1-6].orv "$work/cache/"
export ORV="$orv" SRC="$work/cache/fire_####.orv" DST="$work/vdb/fire_####.vdb" FIRST=1 CHUNK=2
submit() {  # submit <array> ; waits (two minutes at most), returns the job's exit status
  local status=0
  timeout 120 sbatch --wait --quiet --chdir="$work" --array="$1" --cpus-per-task=1 "$job" ||
    status=$?
  [[ $status -ne 124 ]] || fail "array $1 did not finish within two minutes: $(tail -5 "$work/slurmctld.log")"
  return "$status"
}
check_frame() {  # check_frame <n> : the frame's file reads back with the blender grids
  local file
  file=$(printf '%s/vdb/fire_%04d.vdb' "$work" "$1")
  [[ -f "$file" ]] || fail "frame $1 was not written"
  local listing
  listing=$("$orv" info "$file") || fail "frame $1 cannot be read back"
  for grid in density temperature fuel velocity.x color.x; do
    grep -q " $grid" <<<"$listing" || fail "frame $1 lacks grid $grid"
  done
}
no_partial_files() {
  if compgen -G "$work/vdb/.*.part" >/dev/null; then fail "partial files left: $(ls -a "$work/vdb")"; fi
}

submit 0-2 || fail "the array job failed: $(cat "$work"/orv-convert-*.log)"
for frame in 1 2 3 4 5 6; do check_frame "$frame"; done
no_partial_files
echo "farm-test: 6 frames converted by 3 array tasks and read back"

# A chunk run again after frame 3 was lost: frame 3 is written again, frame 4 left as it is.
rm "$work/vdb/fire_0003.vdb"
rm -f "$work"/orv-convert-*.log
submit 1 || fail "the re-run chunk failed: $(cat "$work"/orv-convert-*.log)"
check_frame 3
grep -q "frame 4 .*skipped" "$work"/orv-convert-*_1.log || fail "frame 4 was not skipped"
echo "farm-test: a re-run chunk converts only what is missing"

# A damaged frame fails its task, and nothing stands under its name.
rm "$work/vdb/fire_0005.vdb"
head -c 1000 "$samples/fire_0005.orv" >"$work/cache/fire_0005.orv"
rm -f "$work"/orv-convert-*.log
if submit 2; then fail "the task with a damaged frame did not fail"; fi
[[ ! -e "$work/vdb/fire_0005.vdb" ]] || fail "the damaged frame left a file"
grep -q "frame 5 " "$work"/orv-convert-*_2.log || fail "the damaged frame was not reported"
check_frame 6
no_partial_files
echo "farm-test: a damaged frame fails its task and leaves no file"
echo "farm-test: passed"
