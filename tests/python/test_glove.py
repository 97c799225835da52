"""zembra.Glove against simulated receivers: what a pose holds, the same
joints as the driver's engine computes, the open's exceptions, Ctrl+C, a
close from another thread, the queue's bound, events and commands, and two
pairs of gloves at once."""

import gc
import inspect
import os
import pydoc
import signal
import subprocess
import sys
import tempfile
import textwrap
import threading
import time

import numpy as np
import pytest

import zembra
from conftest import RATE, reference_poses, sequence, wait_for


def take(glove, count):
    poses = []
    for pose in glove.poses(timeout=10):
        poses.append(pose)
        if len(poses) == count:
            break
    assert len(poses) == count, "the glove stopped delivering"
    return poses


def test_every_name_is_documented():
    text = pydoc.render_doc(zembra, renderer=pydoc.plaintext)
    assert "class Glove" in text and "write_bvh" in text and "JOINTS" in zembra.__doc__
    for name in zembra.__all__ if hasattr(zembra, "__all__") else dir(zembra):
        if name.startswith("_"):
            continue
        item = getattr(zembra, name)
        if callable(item):
            assert item.__doc__ and item.__doc__.strip(), name
        if inspect.isclass(item) and not issubclass(item, (BaseException, tuple)):
            for member, value in vars(item).items():
                if not member.startswith("_"):
                    doc = value.__doc__ or ""
                    # pybind11 puts the signature first: a method needs a line more.
                    assert doc.strip() and (isinstance(value, property) or "\n" in doc.strip()), (name, member)
    assert len(zembra.JOINTS) == 16 and zembra.JOINTS[5] == "wrist" and zembra.JOINTS[0] == "pinky_intermediate"
    assert zembra.JOINT_PARENTS[5] == -1 and zembra.JOINTS[zembra.JOINT_PARENTS[0]] == "pinky_proximal"
    assert zembra.FINGERS == ("thumb", "index", "middle", "ring", "pinky")


def test_receivers_and_poses_match_the_drivers_engine(pair_tree):
    found = zembra.receivers()
    assert [(r.port, r.hand, r.performer, r.serial) for r in found] == [
        (pair_tree.node("ttyUSB0"), "left", 0, "ZEMBRA-LH0-0000"),
        (pair_tree.node("ttyUSB1"), "right", 0, "ZEMBRA-RH0-0001")]
    assert all(r.name and r.serial in r.instance_id for r in found)

    with zembra.Glove("left") as left, zembra.Glove("right", found[1]) as right:
        assert (left.hand, left.port, right.port) == ("left", found[0].port, found[1].port)
        taken = {"left": take(left, 150), "right": take(right, 150)}
        newest = right.latest()
        assert newest is not None and sequence(newest) >= sequence(taken["right"][-1])
    assert left.closed and right.closed

    for hand, poses in taken.items():
        numbers = [sequence(pose) for pose in poses]
        assert numbers == sorted(set(numbers)), "each pose once, in order"
        times = [pose.time for pose in poses]
        assert times == sorted(times) and times[-1] <= time.monotonic()
        expected = reference_poses(hand, numbers)
        for pose, reference in zip(poses, expected):
            assert pose.hand == hand
            assert pose.joints.dtype == np.float32 and pose.joints.shape == (16, 4)
            np.testing.assert_array_equal(pose.joints, reference.joints)  # bit for bit
            assert pose.bends._fields == zembra.FINGERS
            assert list(pose.bends) == reference.fingers[::-1]  # thumb to pinky
            assert len(pose.status.table) == 6 and pose.status.byte == 100


def test_opening_fails_with_the_drivers_code_and_a_clear_message(device_tree, tmp_path):
    with pytest.raises(zembra.NoReceiverError) as missing:
        zembra.Glove("right")
    assert missing.value.code == 7 and "zembra.receivers()" in str(missing.value)
    nowhere = str(tmp_path / "ttyUSB7")
    with pytest.raises(zembra.NoReceiverError) as absent:
        zembra.Glove("left", port=nowhere)
    assert absent.value.code == 4 and nowhere in str(absent.value)

    port = device_tree.plug_in("left", "ttyUSB0", "ZEMBRA-LH0-0000")
    with zembra.Glove("left"):
        with pytest.raises(zembra.PortBusyError) as busy:
            zembra.Glove("left", port=port)
        assert busy.value.code == 4 and port in str(busy.value)
    with pytest.raises(ValueError):
        zembra.Glove("left", port=zembra.receivers()[0], queue_size=0)
    with pytest.raises(ValueError, match="serves the left hand"):
        zembra.Glove("right", port=port)
    with pytest.raises(ValueError):
        zembra.Glove("middle")


def test_a_port_this_user_may_not_open_points_to_the_linux_set_up():
    # root may open anything: then another user tries, in a folder it can reach.
    user = {"user": 65534} if os.geteuid() == 0 else {}
    with tempfile.TemporaryDirectory() as folder:
        os.chmod(folder, 0o755)
        port = os.path.join(folder, "ttyUSB0")
        with open(port, "w"):
            pass
        os.chmod(port, 0o600 if user else 0)
        script = textwrap.dedent(f"""
            import zembra
            try:
                zembra.Glove("left", port={port!r})
            except zembra.PortPermissionError as error:
                print(error.code, isinstance(error, PermissionError), error)
            """)
        try:
            out = subprocess.run([sys.executable, "-c", script], capture_output=True, timeout=60, cwd=folder, **user)
        except PermissionError:
            pytest.skip("no other user to run as")
    if b"No module named" in out.stderr:
        pytest.skip("the build is not readable by another user")
    assert out.returncode == 0, out.stderr
    said = out.stdout.decode().splitlines()[-1]
    assert said.startswith("4 True this user may not open " + port) and "docs/linux-setup.md" in said


def test_ctrl_c_ends_a_waiting_iterator(device_tree):
    # The glove is quiet on every channel: the iterator waits for ever.
    device_tree.plug_in("left", "ttyUSB0", "ZEMBRA-LH0-0000", "--fault", "silence=3600000")
    script = textwrap.dedent("""
        import zembra
        with zembra.Glove("left") as glove:
            for name, iterator in (("glove", glove.poses), ("merged", lambda: zembra.poses(glove))):
                try:
                    print("test: waiting", name, flush=True)
                    next(iterator())
                    print("test: a pose came", flush=True)
                except KeyboardInterrupt:
                    print("test: interrupted", name, flush=True)
        print("test: closed", glove.closed, flush=True)
        """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                             env=os.environ.copy())
    said = []
    try:
        for line in child.stdout:  # the driver's own messages among them
            line = line.decode().strip()
            if line.startswith("test: "):
                said.append(line)
            if line.startswith("test: waiting"):
                time.sleep(0.3)  # into the wait; an earlier signal would end it as well
                child.send_signal(signal.SIGINT)
        assert child.wait(timeout=10) == 0
    finally:
        child.kill()
        child.wait()
    assert said == ["test: waiting glove", "test: interrupted glove", "test: waiting merged", "test: interrupted merged",
                    "test: closed True"]


def test_closing_ends_another_threads_iteration_and_every_command(pair_tree):
    glove = zembra.Glove("left")
    seen, ended = [], threading.Event()

    def consume():
        for pose in glove.poses():
            seen.append(pose)
        ended.set()

    consumer = threading.Thread(target=consume)
    consumer.start()
    assert wait_for(lambda: len(seen) > 20)
    glove.close()
    assert ended.wait(10), "the iterator did not end"
    consumer.join(10)
    assert glove.closed and "closed" in repr(glove)
    assert list(glove.poses()) == [] and list(glove.events(timeout=None)) == []
    for command in (glove.vibrate, glove.save_calibration, glove.align_fingers, lambda: glove.finger_value(0)):
        with pytest.raises(zembra.Error) as closed:
            command()
        assert closed.value.code == 5
    glove.close()
    # The port is free again, and free once more when a glove is collected.
    again = zembra.Glove("left", queue_size=10)
    take(again, 5)
    del again
    gc.collect()
    with zembra.Glove("left") as third:
        take(third, 5)


def test_the_queue_keeps_the_newest_under_a_consumer_that_sleeps(pair_tree):
    with zembra.Glove("right", queue_size=50) as glove:
        first = next(glove.poses())
        # The consumer sleeps: the driver goes on, the queue stays bounded.
        assert wait_for(lambda: glove.dropped >= 100, 20)
        assert glove.pending == 50 and glove.queue_size == 50
        drained = list(glove.poses(timeout=0))
        numbers = [sequence(pose) for pose in drained]
        assert 50 <= len(drained) <= 60
        assert numbers == list(range(numbers[0], numbers[0] + len(numbers))), "in order, none missing"
        assert numbers[0] > sequence(first) + 100, "the oldest went"
        assert sequence(glove.latest()) - numbers[-1] < 10, "the newest stayed"
        assert glove.received >= 1 + glove.dropped + len(drained)


def test_events_and_commands(pair_tree, monkeypatch):
    with zembra.Glove("left") as left, zembra.Glove("right") as right:
        take(left, 5)
        left.vibrate()
        left.vibrate(0.05)
        left.save_calibration()
        left.align_fingers()
        values = [left.finger_value(i) for i in range(5)]
        assert all(-180 <= v <= 180 for v in values) and left.finger_value("thumb") != 0
        with pytest.raises(zembra.FingerIndexError) as outside:
            left.finger_value(5)
        assert outside.value.code == 9 and isinstance(outside.value, IndexError)
        assert list(left.events()) == []

        left.pair()
        paired = list(left.events(timeout=10))
        assert [(e.type, e.code, e.hand) for e in paired[:1]] == [("paired", 5, "left")]

        got, reported = [], []

        def on_event(event):
            got.append((event, threading.current_thread()))
            if len(got) == 1:
                raise RuntimeError("reported, and the next event still comes")

        monkeypatch.setattr(sys, "unraisablehook", reported.append)
        right.on_event = on_event
        assert right.on_event is on_event
        right.pair(channel=90)
        assert wait_for(lambda: len(got) == 1 and reported)
        right.pair()  # again: the first request is given up
        assert wait_for(lambda: len(got) == 2)
        assert [(e.type, e.hand) for e, _ in got] == [("paired", "right")] * 2
        assert all(thread is not threading.main_thread() for _, thread in got)
        assert isinstance(reported[0].exc_value, RuntimeError)
        right.on_event = None
        assert right.on_event is None


def test_two_pairs_of_gloves_at_once(device_tree):
    for index, (hand, tag) in enumerate([("left", "LH0"), ("right", "RH0"), ("left", "LH1"), ("right", "RH1")]):
        device_tree.plug_in(hand, f"ttyUSB{index}", f"ZEMBRA-{tag}-000{index}")
    found = zembra.receivers()
    assert [(r.hand, r.performer) for r in found] == [("left", 0), ("right", 0), ("left", 1), ("right", 1)]
    gloves = [zembra.Glove(r.hand, r) for r in found]
    try:
        assert len({g.port for g in gloves}) == 4
        # One loop over all four: each glove's poses in order, none twice.
        taken = {g.port: [] for g in gloves}
        for pose in zembra.poses(*gloves, timeout=10):
            taken[pose.port].append(pose)
            if min(len(poses) for poses in taken.values()) >= 100:
                break
        # And a thread for each, as well.
        threaded = {}

        def consume(glove):
            threaded[glove.port] = take(glove, 50)

        threads = [threading.Thread(target=consume, args=(g,)) for g in gloves]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join(30)
        for glove in gloves:
            for poses in (taken[glove.port], threaded[glove.port]):
                assert len(poses) >= 50 and all(p.hand == glove.hand and p.port == glove.port for p in poses)
                numbers = [sequence(p) for p in poses]
                assert numbers == sorted(set(numbers))
            assert sequence(threaded[glove.port][0]) > sequence(taken[glove.port][-1])
    finally:
        for glove in gloves:
            glove.close()
    assert list(zembra.poses(*gloves)) == [], "ends once every glove is closed"
    with pytest.raises(TypeError):
        zembra.poses(found[0])
