# Opens a .vdb file as a Blender volume object and prints the grids Blender sees and the grid it
# takes for velocity; exits non-zero when Blender finds no velocity grid. Not part of CI.
# Usage: blender -b --factory-startup --python scripts/blender-volume-check.py -- FILE.vdb
import sys

import bpy

path = sys.argv[sys.argv.index("--") + 1]
bpy.ops.object.volume_import(filepath=path)
volume = bpy.context.active_object.data
if not volume.grids.load():
    print("blender-volume-check: cannot load", path, volume.grids.error_message)
    sys.exit(1)
for grid in volume.grids:
    print("grid %-12s %-13s %d channel(s)" % (grid.name, grid.data_type, grid.channels))
print("velocity grid:", repr(volume.velocity_grid), "unit:", volume.velocity_unit)
sys.exit(0 if volume.velocity_grid else 1)
