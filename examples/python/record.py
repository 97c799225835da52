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
import time

import zembra


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=10, help="length of the take")
    parser.add_argument("--output", default="take", help="file name without .bvh or .csv")
    args = parser.parse_args()

    takes = {"left": [], "right": []}
    with zembra.Glove("left") as left, zembra.Glove("right") as right:
        print(f"recording {args.seconds:g} s ...")
        start = time.monotonic()
        # One loop for both hands; each pose says whose it is.
        for pose in zembra.poses(left, right, timeout=2):
            if pose.time > start + args.seconds:
                break
            if pose.time >= start:
                takes[pose.hand].append(pose)

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
