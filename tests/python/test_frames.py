"""Frames, channels and particle groups read through the orv module."""

import gc
import subprocess
import threading

import numpy as np
import pytest

import orv

FRAMES = ["v5_zoned_fc03.orv", "v4_sgc3_zoned.orv", "v6_particles.orv", "v6_colour18.orv"]


@pytest.mark.parametrize("name", FRAMES)
def test_reference_frame_values(reference, name):
    folder, expected = reference
    want = expected[name]
    with orv.open(folder / name) as frame:
        assert list(frame.resolution) == want["gridSize"]
        m = np.array(want["transform"], dtype=np.float32).astype(np.float64)
        assert np.array_equal(frame.world_to_index[:3, :3], m[:9].reshape(3, 3).T)
        assert np.array_equal(frame.world_to_index[:3, 3], m[9:])
        assert np.allclose(frame.index_to_world @ frame.world_to_index, np.eye(4))
        present = [i for i, flag in enumerate(want["hasChannel"]) if flag]
        assert list(frame.channels.values()) == present
        nx, ny, nz = want["gridSize"]
        for channel in range(32):
            if str(channel) not in want["channels"]:
                with pytest.raises((KeyError, orv.OrvError)):
                    frame.channel(channel)
                continue
            values = frame.channel(channel)
            stored = (folder / want["channels"][str(channel)]["file"]).read_bytes()
            assert values.shape == (nz, ny, nx) and values.dtype == np.float32
            assert values.tobytes() == stored
            # A view of the frame's own array: no copy, always the same memory, read-only.
            assert values.base is frame and not values.flags.writeable
            assert frame.channel(channel).ctypes.data == values.ctypes.data
            assert np.shares_memory(frame.channel(channel), values)


def test_particle_groups_match_the_reference(reference):
    folder, expected = reference
    want = expected["v6_particles.orv"]
    with orv.open(folder / "v6_particles.orv") as frame:
        listed = frame.particle_groups
        for group_want in want["groups"]:
            group = frame.particle_group(group_want["name"])
            assert group.name == group_want["name"] and len(group) == group_want["getParticleCount"]
            if group_want["index"] is not None:
                assert listed[group_want["index"]].name == group.name
            for channel, stored in group_want["channels"].items():
                assert group[int(channel)].tobytes() == (folder / stored["file"]).read_bytes()
            for particle_id, index in group_want["findParticleById"]:
                assert group.find_by_id(particle_id) == (None if index < 0 else index)
        methods = frame.particle_group("methods")
        position = methods["position"]
        assert position.shape == (len(methods), 3) and position.dtype == np.float32
        assert methods["id"].dtype == np.int64 and methods["id"].shape == (len(methods),)
        assert "position" in methods.channels and "id" in methods.channels
        with pytest.raises(KeyError):
            frame.particle_group("no such group")


def test_views_outlive_the_frame_and_a_closed_frame_refuses_reads(reference):
    folder, _ = reference
    frame = orv.open(folder / "v4_sgc3_zoned.orv")
    smoke = frame.channel("smoke")
    copy = smoke.copy()
    group_frame = orv.open(folder / "v6_particles.orv")
    group = group_frame.particle_groups[0]
    frame.close()
    group_frame.close()
    assert frame.closed
    for read in (lambda: frame.channel("smoke"), lambda: frame.resolution, lambda: len(group)):
        with pytest.raises(ValueError):
            read()
    del frame
    gc.collect()
    assert np.array_equal(smoke, copy)
    with pytest.raises(ValueError):
        smoke[0, 0, 0] = 1.0


def test_velocity_is_the_three_components(reference):
    folder, _ = reference
    with orv.open(folder / "v4_sgc3_zoned.orv") as frame:
        velocity = frame.velocity()
        for axis, name in enumerate(("velocity_x", "velocity_y", "velocity_z")):
            assert np.array_equal(velocity[..., axis], frame.channel(name))
        assert frame.voxel_size == pytest.approx((0.1, 0.1, 0.1))
    with orv.open(folder / "v5_zoned_fc03.orv") as frame, pytest.raises(KeyError):
        frame.velocity()


def damaged(data, tmp_path, name, cut):
    path = tmp_path / name
    path.write_bytes(cut(data))
    return path


@pytest.mark.parametrize("name, cut, code", [
    ("garbage.orv", lambda d: b"\x07" * 200, 12),
    ("empty.orv", lambda d: b"", 4),
    ("cut.orv", lambda d: d[:len(d) // 2] + d[-64:], 4),
    ("flipped.orv", lambda d: d[:100] + bytes(b ^ 0x5A for b in d[100:-64]) + d[-64:], 4),
    ("missing.orv", None, 3),
    ("frame.txt", lambda d: d, 3),
    ("broken.vdb", lambda d: d[:300], 3),
])
def test_damaged_and_wrong_files_raise_orv_error(reference, tmp_path, name, cut, code):
    folder, _ = reference
    data = (folder / "v6_particles.orv").read_bytes()
    path = tmp_path / name if cut is None else damaged(data, tmp_path, name, cut)
    with pytest.raises(orv.OrvError) as raised:
        orv.open(path)
    assert raised.value.code == code
    assert any(str(path) in line for line in raised.value.log)
    assert str(path) in str(raised.value)


def test_header_only_frame_has_no_channel_values(reference):
    folder, _ = reference
    with orv.open(folder / "v4_sgc3_zoned.orv", header_only=True) as frame:
        assert frame.resolution == (20, 16, 14)
        with pytest.raises(orv.OrvError):
            frame.channel("smoke")


def test_threads_read_channels_of_one_frame(reference):
    folder, expected = reference
    want = expected["v4_sgc3_zoned.orv"]["channels"]
    stored = {int(c): (folder / w["file"]).read_bytes() for c, w in want.items()}
    results, errors = [], []
    start = threading.Barrier(8)
    with orv.open(folder / "v4_sgc3_zoned.orv") as frame:
        def read(offset):
            try:
                start.wait()
                for channel in list(stored)[offset:] + list(stored)[:offset]:
                    results.append((channel, frame.channel(channel).tobytes()))
            except Exception as error:  # reported below
                errors.append(error)
        threads = [threading.Thread(target=read, args=(i % len(stored),)) for i in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    assert not errors and len(results) == 8 * len(stored)
    assert all(values == stored[channel] for channel, values in results)


def test_vdb_written_by_orvconvert_reads_back(reference, orvconvert, tmp_path):
    folder, _ = reference
    source = folder / "v4_sgc3_zoned.orv"
    target = tmp_path / "v4.vdb"
    subprocess.run([orvconvert, "-srcfile", str(source), "-dstfile", str(target), "-silent"],
                   check=True, capture_output=True)
    assert {(1, "Temperature_cvn"), (2, "Smoke_cvn")} <= set(
        orv.mappings.decompose(orv.mappings.default(target)))
    with orv.open(source) as original, orv.open(target) as converted:
        assert converted.resolution == original.resolution
        assert np.allclose(converted.index_to_world, original.index_to_world, atol=1e-6)
        for name in ("temperature", "smoke", "velocity_x", "velocity_y", "velocity_z"):
            assert np.array_equal(converted.channel(name), original.channel(name))
    with orv.open(target, mapping={2: "Temperature_cvn"}, max_voxels=10**9) as remapped:
        assert list(remapped.channels) == ["smoke"]


@pytest.mark.parametrize("entries, text", [
    ({2: "density", 1: "temperature"}, "2,density;1,temperature;"),
    ([(4, "vel.x"), (4, "v(x),a")], "4,vel.x;4,v(x),a;"),
    ({}, ""),
])
def test_mapping_strings(entries, text):
    assert orv.mappings.compose(entries) == text
    pairs = list(entries.items()) if isinstance(entries, dict) else entries
    assert orv.mappings.decompose(text) == pairs


def test_mapping_defaults_and_bad_names():
    assert orv.mappings.default("frame.orv").startswith("1,Temperature_cvn;2,Smoke_cvn;")
    assert orv.mappings.decompose("x,density;") == [(0, "density")]
    with pytest.raises(ValueError):
        orv.mappings.compose({1: "a;b"})
