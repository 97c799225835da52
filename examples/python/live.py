#!/usr/bin/env python3
"""Live finger bends of the gloves plugged in, five times a second.

    python3 examples/python/live.py [--seconds N] [--hand left|right|both]

Opens each hand's glove (both by default) and prints the bends of its
newest pose in degrees, thumb to pinky, for N seconds (default 20; 0 runs
until Ctrl+C).
"""

import argparse
import time

import zembra


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=20, help="how long to stream; 0: until Ctrl+C")
    parser.add_argument("--hand", choices=("left", "right", "both"), default="both")
    args = parser.parse_args()

    gloves = []
    for hand in ("left", "right") if args.hand == "both" else (args.hand,):
        try:
            gloves.append(zembra.Glove(hand))
        except zembra.Error as error:
            print(f"{hand} glove: {error}")
    if not gloves:
        return 1
    end = time.monotonic() + args.seconds
    try:
        while args.seconds == 0 or time.monotonic() < end:
            time.sleep(0.2)
            for glove in gloves:
                pose = glove.latest()
                if pose is None:
                    print(f"{glove.hand:5}  no pose yet")
                    continue
                bends = "  ".join(f"{finger} {bend:5.1f}" for finger, bend in zip(zembra.FINGERS, pose.bends))
                print(f"{glove.hand:5}  {bends}   ({glove.received} poses)")
    except KeyboardInterrupt:
        pass
    finally:
        for glove in gloves:
            glove.close()
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
