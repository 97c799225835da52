"""What the Python module's tests share: device trees of their own with
zembra-receiver-sim processes registered in them, the C++ reference of the
same packets and files, and waiting for a condition."""

import os
import subprocess
import time

import numpy as np
import pytest

SIMULATOR = os.environ.get("ZEMBRA_RECEIVER_SIM", "zembra-receiver-sim")
REFERENCE = os.environ.get("ZEMBRA_POSE_REFERENCE", "pose_reference")
RATE = 200  # bursts a second of every simulated receiver here
SEQUENCE_MODULUS = 1 << 24


def wait_for(condition, seconds=10.0):
    """True once condition() holds; False when seconds passed first."""
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.01)
    return True


def sequence(pose):
    """The number of the simulator's burst a pose was computed from: the
    simulator writes it into the glove's status value."""
    return int(pose.status.value) % SEQUENCE_MODULUS


class DeviceTree:
    """A device tree of one's own (ZEMBRA_SYSFS_ROOT, ZEMBRA_DEV_ROOT) with
    simulated receivers plugged into it."""

    def __init__(self, root):
        self.root = str(root)
        self.env = {"ZEMBRA_SYSFS_ROOT": os.path.join(self.root, "sys"),
                    "ZEMBRA_DEV_ROOT": os.path.join(self.root, "dev")}
        for folder in self.env.values():
            os.makedirs(folder, exist_ok=True)
        self.receivers = []

    def plug_in(self, hand, name, serial, *options):
        """Starts a simulated receiver registered as name (ttyUSB0, ...)
        and returns once the tree shows it; its device node path."""
        log = os.path.join(self.root, name + ".log")
        with open(log, "wb") as out:
            process = subprocess.Popen(
                [SIMULATOR, "--hand", hand, "--rate", str(RATE), "--register", name, "--serial", serial, *options],
                stdout=out, stderr=subprocess.STDOUT, env={**os.environ, **self.env})
        self.receivers.append(process)

        def registered():
            with open(log, "rb") as text:
                return b"registered as" in text.read()

        assert wait_for(lambda: registered() or process.poll() is not None), "the simulator did not come up"
        assert registered(), open(log).read()
        return self.node(name)

    def node(self, name):
        return os.path.join(self.env["ZEMBRA_DEV_ROOT"], name)

    def close(self):
        for process in self.receivers:
            process.terminate()
        for process in self.receivers:
            process.wait(timeout=10)
        self.receivers = []


@pytest.fixture(scope="module")
def pair_tree(tmp_path_factory):
    """Both hands' simulated receivers, LH0 on ttyUSB0 and RH0 on ttyUSB1,
    for the whole module; the environment names their tree."""
    tree = DeviceTree(tmp_path_factory.mktemp("pair"))
    saved = {key: os.environ.get(key) for key in tree.env}
    os.environ.update(tree.env)
    try:
        tree.plug_in("left", "ttyUSB0", "ZEMBRA-LH0-0000")
        tree.plug_in("right", "ttyUSB1", "ZEMBRA-RH0-0001")
        yield tree
    finally:
        tree.close()
        for key, value in saved.items():
            if value is None:
                os.environ.pop(key, None)
            else:
                os.environ[key] = value


@pytest.fixture
def device_tree(tmp_path, monkeypatch):
    """An empty tree of this test's own, named by the environment."""
    tree = DeviceTree(tmp_path / "tree")
    for key, value in tree.env.items():
        monkeypatch.setenv(key, value)
    yield tree
    tree.close()


class Reference:
    """What the C++ side computes for the same bursts: the driver's pose
    engine, its finger values and the recording code's BVH values."""

    def __init__(self, joints, fingers, bvh):
        self.joints, self.fingers, self.bvh = joints, fingers, bvh


def reference_poses(hand, sequences):
    out = subprocess.run([REFERENCE, "poses", hand, str(RATE), "moving"], check=True, capture_output=True,
                         input="\n".join(str(n) for n in sequences).encode())
    rows = [line.split() for line in out.stdout.decode().splitlines()]
    assert len(rows) == len(sequences)
    return [Reference(np.array([float(v) for v in row[:64]], dtype=np.float32).reshape(16, 4),
                      [float(v) for v in row[64:69]], [float(v) for v in row[69:]]) for row in rows]


def read_bvh(path):
    """(frames, channels, frame time, values as an array frames x channels)
    as the project's BVH reader reads the file; fails on its complaint."""
    out = subprocess.run([REFERENCE, "bvh", str(path)], capture_output=True)
    lines = out.stdout.decode().splitlines()
    assert out.returncode == 0, lines
    words = lines[0].split()
    frames, channels, frame_time = int(words[1]), int(words[3]), float(words[5])
    values = np.array([[float(v) for v in line.split()] for line in lines[1:]]).reshape(frames, channels)
    return frames, channels, frame_time, values
