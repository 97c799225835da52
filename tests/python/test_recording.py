"""zembra.write_bvh read back by the project's BVH reader, and the
examples run against simulated gloves."""

import math
import os
import subprocess
import sys

import numpy as np
import pytest

import zembra
from conftest import read_bvh, reference_poses, sequence

EXAMPLES = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "python")


def takes(count):
    with zembra.Glove("left") as left, zembra.Glove("right") as right:
        poses = {"left": [], "right": []}
        for glove in (left, right):
            for pose in glove.poses(timeout=10):
                poses[glove.hand].append(pose)
                if len(poses[glove.hand]) == count:
                    break
    return poses["left"], poses["right"]


def test_write_bvh_is_read_back_by_the_projects_reader(pair_tree, tmp_path):
    left, right = takes(200)

    # One frame a pose: the values are the recording code's for those poses.
    path = tmp_path / "frames.bvh"
    assert zembra.write_bvh(path, left[:40], right[:30], resample=False) == 30
    frames, channels, frame_time, values = read_bvh(path)
    assert (frames, channels) == (30, 96) and frame_time == pytest.approx(1 / 30, abs=1e-6)
    for half, poses in ((slice(0, 48), left[:30]), (slice(48, 96), right[:30])):
        expected = [r.bvh for r in reference_poses(poses[0].hand, [sequence(p) for p in poses])]
        np.testing.assert_allclose(values[:, half], expected, rtol=2e-5, atol=1e-4)

    # On the file's grid of 1/30 s, from the earliest pose to the latest.
    path = tmp_path / "take.bvh"
    written = zembra.write_bvh(str(path), left, right)
    span = max(left[-1].time, right[-1].time) - min(left[0].time, right[0].time)
    assert abs(written - (math.floor(span * 30) + 1)) <= 1
    assert read_bvh(path)[0] == written

    made = zembra.Pose(left[0].joints, "left", time=left[0].time)
    np.testing.assert_array_equal(made.joints, left[0].joints)
    with pytest.raises(ValueError, match="no pose"):
        zembra.write_bvh(path, [], right)
    with pytest.raises(TypeError):
        zembra.write_bvh(path, [left[0].joints], right)
    with pytest.raises(OSError):
        zembra.write_bvh(tmp_path / "no-such-folder" / "take.bvh", left, right)
    with pytest.raises(ValueError):
        zembra.Pose(np.zeros((15, 4)), "left")


def run_example(name, *args):
    out = subprocess.run([sys.executable, os.path.join(EXAMPLES, name), *args], capture_output=True, timeout=120,
                         env={**os.environ, "MPLBACKEND": "Agg"})
    assert out.returncode == 0, out.stderr.decode()
    return out.stdout.decode()


def test_the_examples_run_on_simulated_gloves(pair_tree, tmp_path):
    live = run_example("live.py", "--seconds", "1")
    assert "left " in live and "right" in live and "thumb" in live

    run_example("record.py", "--seconds", "1", "--output", str(tmp_path / "take"))
    frames = read_bvh(tmp_path / "take.bvh")[0]
    assert 25 <= frames <= 40
    with open(tmp_path / "take.csv") as csv:
        header, *rows = csv.read().splitlines()
    assert header.split(",")[:3] == ["time", "hand", "pinky_intermediate_x"] and len(header.split(",")) == 66
    assert {row.split(",")[1] for row in rows} == {"left", "right"} and len(rows) > 200

    pytest.importorskip("matplotlib")
    run_example("plot.py", "--seconds", "1", "--output", str(tmp_path / "bends.png"))
    with open(tmp_path / "bends.png", "rb") as png:
        assert png.read(8) == b"\x89PNG\r\n\x1a\n"
