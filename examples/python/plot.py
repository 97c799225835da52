#!/usr/bin/env python3
"""Plots the finger bends of both gloves over ten seconds (matplotlib).

    python3 examples/python/plot.py [--seconds N] [--output FILE]

Takes every pose of both hands for N seconds (default 10), then draws each
hand's five finger bends against time. With --output, or without a display,
the plot is written to a PNG file (default bends.png); otherwise it opens in
a window.
"""

import argparse
import os
import time

import matplotlib

import zembra


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--output", help="PNG file to write instead of opening a window")
    args = parser.parse_args()
    if args.output is None and not (os.environ.get("DISPLAY") or os.environ.get("WAYLAND_DISPLAY")):
        args.output = "bends.png"
    if args.output:
        matplotlib.use("Agg")  # no window needed
    import matplotlib.pyplot as plt

    series = {"left": [], "right": []}  # (time, bends) of each pose
    with zembra.Glove("left") as left, zembra.Glove("right") as right:
        start = time.monotonic()
        for pose in zembra.poses(left, right, timeout=2):
            if pose.time > start + args.seconds:
                break
            if pose.time >= start:
                series[pose.hand].append((pose.time, pose.bends))

    figure, axes = plt.subplots(2, 1, sharex=True, figsize=(10, 6), constrained_layout=True)
    for axis, hand in zip(axes, ("left", "right")):
        seconds = [t - start for t, _ in series[hand]]
        for finger, name in enumerate(zembra.FINGERS):
            axis.plot(seconds, [bends[finger] for _, bends in series[hand]], label=name, linewidth=1.2)
        axis.set_title(f"{hand} hand ({len(seconds)} poses)")
        axis.set_ylabel("bend (degrees)")
        axis.grid(True, alpha=0.3)
    axes[0].legend(loc="upper left", bbox_to_anchor=(1.01, 1.0), fontsize="small")
    axes[1].set_xlabel("time (s)")
    if args.output:
        figure.savefig(args.output, dpi=100)
        print(f"{args.output} written")
    else:
        plt.show()


if __name__ == "__main__":
    main()
