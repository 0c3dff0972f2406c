#!/usr/bin/env python3
"""Watches an output folder during a run: every few milliseconds it lists the
folder and checks that each file under a final picture name (*.png, *.jpg) is
a complete picture (PNG: ends with its IEND chunk; JPEG: ends with the EOI
marker). Runs until STOPFILE exists, then prints what it saw and exits 1 when
any final name ever held an incomplete picture.

    watch_outputs.py FOLDER STOPFILE
"""
import os
import sys
import time

ENDINGS = {
    ".png": (12, lambda tail: tail[4:8] == b"IEND"),
    ".jpg": (2, lambda tail: tail == b"\xff\xd9"),
}


def main():
    folder, stop_file = sys.argv[1], sys.argv[2]
    listings = checked = 0
    incomplete = {}
    while not os.path.exists(stop_file):
        try:
            names = os.listdir(folder)
        except FileNotFoundError:
            names = []
        listings += 1
        for name in names:
            extension = os.path.splitext(name)[1].lower()
            if extension not in ENDINGS:
                continue
            size, complete = ENDINGS[extension]
            try:
                with open(os.path.join(folder, name), "rb") as f:
                    f.seek(0, os.SEEK_END)
                    length = f.tell()
                    f.seek(max(0, length - size))
                    tail = f.read(size)
            except OSError:
                continue  # replaced or removed between the listing and the read
            checked += 1
            if len(tail) < size or not complete(tail):
                incomplete[name] = length
        time.sleep(0.003)
    print(f"listed {listings} times, checked {checked} files, "
          f"{len(incomplete)} seen incomplete under a final name")
    for name, length in sorted(incomplete.items()):
        print(f"  incomplete: {name} ({length} bytes)")
    return 1 if incomplete else 0


if __name__ == "__main__":
    sys.exit(main())
