"""Frames of orv caches as numpy arrays, and their conversion to OpenVDB files.

    import orv
    with orv.open("fire_0042.orv") as frame:
        smoke = frame.channel("smoke")      # (nz, ny, nx) float32, no copy
        print(frame.resolution, frame.voxel_size, list(frame.channels))
    report = orv.convert("fire_####.orv", "vdb/fire_####.vdb", frames="1-100")
"""

from ._native import Frame, OrvError, ParticleGroup, mappings, open, version
from .conversion import ConversionReport, FrameReport, convert

__all__ = ["ConversionReport", "Frame", "FrameReport", "OrvError", "ParticleGroup", "convert",
           "mappings", "open", "version"]

import sys as _sys

# "import orv.mappings" works as well as "orv.mappings".
_sys.modules[__name__ + ".mappings"] = mappings
