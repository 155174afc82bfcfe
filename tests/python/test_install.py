"""cmake --install puts a working orv package into site-packages."""

import os
import pathlib
import subprocess
import sys


def test_installed_package_imports_and_reads_a_frame(reference, tmp_path):
    folder, _ = reference
    subprocess.run([os.environ["CMAKE_COMMAND"], "--install", os.environ["ORV_BUILD_DIR"],
                    "--prefix", str(tmp_path)], check=True, capture_output=True)
    site = next(tmp_path.glob("lib/python3*/*-packages"))
    script = ("import orv, sys; f = orv.open(sys.argv[1]); "
              "print(orv.__file__, f.channel('smoke').shape)")
    environment = dict(os.environ, PYTHONPATH=str(site))  # not the build tree's package
    out = subprocess.run([sys.executable, "-c", script, str(folder / "v4_sgc3_zoned.orv")],
                         check=True, capture_output=True, text=True, env=environment,
                         cwd=tmp_path).stdout
    module_file, shape = out.split(" ", 1)
    assert pathlib.Path(module_file).is_relative_to(site)
    assert shape.strip() == "(14, 16, 20)"
