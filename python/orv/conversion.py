"""orv.convert: frames of a cache converted to OpenVDB files, as the orv tool's convert does."""

import dataclasses
import os
from typing import Callable, Iterable, Optional, Union

from . import _convert
from ._native import OrvError


@dataclasses.dataclass(frozen=True)
class FrameReport:
    """What became of one frame."""

    frame: Optional[int]  # None for a single file without a frame number in its name
    source: str
    destination: str
    status: str  # "converted", "skipped" or "failed"
    reason: str  # why it failed
    seconds: float
    bytes_written: int
    grids: int  # volume and point grids written
    points: int
    warnings: list

    @property
    def ok(self) -> bool:
        return self.status != "failed"


@dataclasses.dataclass(frozen=True)
class ConversionReport:
    """Every frame's report, in the order of the frame list, and the counts."""

    frames: list
    converted: int
    skipped: int
    failed: int
    seconds: float

    @property
    def ok(self) -> bool:
        """True when every frame was converted or skipped."""
        return self.failed == 0


_Path = Union[str, os.PathLike]


def convert(src: _Path, dst: _Path, frames: Union[None, str, int, Iterable[int]] = None,
            preset: str = "blender", clip: Optional[float] = None, half: bool = False,
            threads: Optional[int] = None, particles: bool = False, codec: str = "blosc",
            skip_existing: bool = False,
            progress: Optional[Callable[[FrameReport, int, int], None]] = None,
            ) -> ConversionReport:
    """Converts frames to OpenVDB files on the engine of the orv tool's convert command.

    src, dst: file names or patterns ("fire_####.orv", "%04d", "<frame>"); a name without a frame
        token is one file.
    frames: the frames of a pattern: "1-100", "1-100:2", "5,7,9-12", a number or numbers; None:
        every frame whose source file exists.
    preset: "blender" (density, temperature, fuel, velocity, color), "houdini" (density,
        temperature, fuel, vel, Cd) or "cvn" (orvconvert's nine float grids).
    clip: voxels with |value| (a vector's length) at or below it become inactive background.
    half: grids stored as 16-bit floats.  codec: "blosc", "zip" or "none".
    threads: frames and grids converted at once (None: the processor count).
    particles: each particle group also written as a point grid.
    skip_existing: frames whose destination exists are left alone.
    progress: called as progress(report, done, total) after each frame, in frame order.

    Each file is written to a temporary name and renamed once complete: a failed frame leaves
    no file. A failed frame does not raise: its report says why (report.failed counts them).
    Raises ValueError for a malformed argument and OrvError when no frame can be converted at
    all (no source file found).
    """
    on_frame = None if progress is None else (
        lambda frame, done, total: progress(FrameReport(**frame), done, total))
    summary = _convert.convert(src, dst, frames, preset, clip, half, threads, particles, codec,
                               skip_existing, on_frame)
    if summary["bad_request"]:
        raise ValueError(summary["refusal"])
    if summary["refusal"]:
        error = OrvError(summary["refusal"])
        error.code, error.log = None, []
        raise error
    return ConversionReport(
        frames=[FrameReport(**frame) for frame in summary["frames"]],
        converted=summary["converted"], skipped=summary["skipped"], failed=summary["failed"],
        seconds=summary["seconds"])
