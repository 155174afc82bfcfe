"""Frames of orv caches as numpy arrays, and their conversion to OpenVDB files.

    import orv
    with orv.open("fire_0042.orv") as frame:
        smoke = frame.channel("smoke")      # (nz, ny, nx) float32, no copy
        print(frame.resolution, frame.voxel_size, list(frame.channels))
"""

from ._native import Frame, OrvError, ParticleGroup, mappings, open, version

__all__ = ["Frame", "OrvError", "ParticleGroup", "mappings", "open", "version"]

import sys as _sys

# "import orv.mappings" works as well as "orv.mappings".
_sys.modules[__name__ + ".mappings"] = mappings
