"""orv.convert on the conversion engine of the orv tool."""

import shutil
import subprocess

import numpy as np
import pytest

import orv


@pytest.fixture
def sequence(reference, tmp_path):
    """seq_0001.orv and seq_0002.orv readable, seq_0003.orv damaged."""
    folder, _ = reference
    shutil.copy(folder / "v4_sgc3_zoned.orv", tmp_path / "seq_0001.orv")
    shutil.copy(folder / "v5_zoned_fc03.orv", tmp_path / "seq_0002.orv")
    (tmp_path / "seq_0003.orv").write_bytes((folder / "v4_sgc3_zoned.orv").read_bytes()[:900])
    return tmp_path


def test_sequence_report_progress_and_values(sequence):
    heard = []
    report = orv.convert(sequence / "seq_####.orv", sequence / "out" / "seq_####.vdb",
                         frames="1-3", preset="cvn", threads=2,
                         progress=lambda frame, done, total: heard.append((frame.frame, done, total)))
    assert heard == [(1, 1, 3), (2, 2, 3), (3, 3, 3)]
    assert [f.status for f in report.frames] == ["converted", "converted", "failed"]
    assert (report.converted, report.failed, report.ok) == (2, 1, False)
    failed = report.frames[2]
    assert failed.reason and not (sequence / "out" / "seq_0003.vdb").exists()
    assert all(f.bytes_written > 0 and f.grids > 0 for f in report.frames[:2])
    for number in (1, 2):
        with orv.open(sequence / f"seq_{number:04d}.orv") as source, \
                orv.open(report.frames[number - 1].destination) as written:
            for name in source.channels:
                assert np.array_equal(written.channel(name), source.channel(name))


def test_same_files_as_the_orv_tool(sequence, orv_tool):
    options = dict(preset="houdini", clip=1e-4, half=True, codec="zip")
    orv.convert(sequence / "seq_0001.orv", sequence / "module.vdb", **options)
    subprocess.run([orv_tool, "convert", str(sequence / "seq_0001.orv"), str(sequence / "tool.vdb"),
                    "--preset", "houdini", "--clip", "1e-4", "--half", "--codec", "zip",
                    "--quiet"], check=True)
    # Alike but for the file's own UUID (36 characters after the 21 bytes ahead of it).
    module, tool = ((sequence / name).read_bytes() for name in ("module.vdb", "tool.vdb"))
    assert len(module) == len(tool) and module[:21] + module[57:] == tool[:21] + tool[57:]


@pytest.mark.parametrize("arguments, error", [
    (dict(preset="maya"), ValueError),
    (dict(codec="lzma"), ValueError),
    (dict(frames="5-1"), ValueError),
    (dict(clip=-1.0), ValueError),
    (dict(threads=0), ValueError),
    (dict(src="none_####.orv"), orv.OrvError),
])
def test_bad_requests_raise(sequence, arguments, error):
    source = sequence / arguments.pop("src", "seq_####.orv")
    with pytest.raises(error):
        orv.convert(source, sequence / "x_####.vdb", **arguments)
