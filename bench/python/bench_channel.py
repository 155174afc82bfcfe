"""frame.channel() against the same decode through the C++ interface, measured in one run.

    python3 bench/python/bench_channel.py [BUILD_DIR] [ROUNDS]

Writes a 256 x 256 x 384 frame, then alternates blocks of C++ decodes (bench_python_decode, a
host of liborvloader.so) and Python decodes (orv.open + frame.channel on a fresh frame), and
prints the best and median time of each and their ratio. Target: Python within 1.1x of C++.
"""

import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

build = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build").resolve()
rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 5
sys.path.insert(0, str(build / "python"))
import orv  # noqa: E402

helpers = build / "bench" / "python"


def python_decodes(path, count):
    times = []
    for _ in range(count):
        with orv.open(path) as frame:
            start = time.perf_counter()
            smoke = frame.channel("smoke")
            times.append(time.perf_counter() - start)
            del smoke
    return times


def cpp_decodes(path, count):
    out = subprocess.run([helpers / "bench_python_decode", path, str(count)], check=True,
                         capture_output=True, text=True).stdout
    return [float(line) for line in out.split()]


with tempfile.TemporaryDirectory() as folder:
    path = os.path.join(folder, "bench_channel.orv")
    subprocess.run([helpers / "bench_python_write_frame", path], check=True)
    python_decodes(path, 1)  # the pool's threads started, the file in the page cache
    cpp, python = [], []
    for _ in range(3):
        cpp += cpp_decodes(path, rounds)
        python += python_decodes(path, rounds)

load = os.getloadavg()[0]
print(f"256x256x384 smoke channel, {len(cpp)} decodes each, load {load:.1f}")
for name, times in (("C++ getChannel", cpp), ("Python frame.channel", python)):
    best, median = min(times) * 1e3, statistics.median(times) * 1e3
    print(f"  {name:22s} best {best:8.1f} ms   median {median:8.1f} ms")
print(f"  ratio Python / C++: best {min(python) / min(cpp):.3f}   "
      f"median {statistics.median(python) / statistics.median(cpp):.3f}   (target <= 1.1)")
