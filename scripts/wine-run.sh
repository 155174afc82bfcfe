#!/usr/bin/env bash
# Runs one Windows test program under Wine for CTest (the cross build's emulator).
#
# Wine's own Linux process sometimes fails an assertion of the system's dynamic loader while it
# exits ("Inconsistency detected by ld.so: dl-fini.c ... _dl_fini"), after the Windows program has
# already finished and printed its result. That exit status is Wine's, not the program's: such a
# run is repeated, at most twice, and the repeat decides. Any other failure is reported as it is.
set -uo pipefail
wine=${ORV_WINE:-/usr/lib/wine/wine64}
loader_fault='Inconsistency detected by ld.so: dl-fini.c'

out=$(mktemp)
err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT

for attempt in 1 2 3; do
  "$wine" "$@" >"$out" 2>"$err"
  status=$?
  if [[ $status -eq 0 ]] || ! grep -qF "$loader_fault" "$out" "$err"; then
    break
  fi
  echo "# wine-run: Wine's loader failed while exiting (attempt $attempt, status $status)" >&2
done

cat "$out"
cat "$err" >&2
exit "$status"
