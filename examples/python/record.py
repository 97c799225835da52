#!/usr/bin/env python3
"""Records both gloves to a BVH motion file and a CSV file of their joints.

    python3 examples/python/record.py [--seconds N] [--output NAME]

Takes every pose of both hands for N seconds (default 10) and writes
NAME.bvh (the configuration tool's format, 30 frames a second; default
name "take") and NAME.csv, one row a pose: its time, its hand and the
sixteen joints' x, y, z, w in the driver's joint order.
"""

import argparse
import csv
import threading
import time

import zembra


def record(glove, until, poses):
    """Every pose of glove up to the time until (on time.monotonic()'s clock)."""
    for pose in glove.poses(timeout=2):
        if pose.time > until:
            break
        poses.append(pose)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=10, help="length of the take")
    parser.add_argument("--output", default="take", help="file name without .bvh or .csv")
    args = parser.parse_args()

    with zembra.Glove("left") as left, zembra.Glove("right") as right:
        print(f"recording {args.seconds:g} s ...")
        until = time.monotonic() + args.seconds
        takes = {"left": [], "right": []}
        threads = [threading.Thread(target=record, args=(glove, until, takes[glove.hand])) for glove in (left, right)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()

    frames = zembra.write_bvh(args.output + ".bvh", takes["left"], takes["right"])
    with open(args.output + ".csv", "w", newline="") as out:
        writer = csv.writer(out)
        writer.writerow(["time", "hand"] + [f"{joint}_{axis}" for joint in zembra.JOINTS for axis in "xyzw"])
        for pose in sorted(takes["left"] + takes["right"], key=lambda p: p.time):
            writer.writerow([f"{pose.time:.6f}", pose.hand] + [f"{v:.7g}" for v in pose.joints.ravel()])
    print(f"{args.output}.bvh: {frames} frames; {args.output}.csv: {len(takes['left'])} left and "
          f"{len(takes['right'])} right poses")


if __name__ == "__main__":
    main()
