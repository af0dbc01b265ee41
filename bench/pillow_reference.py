#!/usr/bin/python3
"""Bench helper: writes test pictures and times Pillow on them.

  pillow_reference.py make PATH WIDTH HEIGHT   write a 24-bit BMP of noise and ramps
  pillow_reference.py resize PATH WIDTH HEIGHT RUNS
  pillow_reference.py transpose PATH OPERATION RUNS   (rotate1|rotate2|rotate3|flip0|flip1)

The timing commands print "op=NAME median_ms=M min_ms=N", like pxbench.
"""
import random
import struct
import sys
import time


def make(path, width, height):
    stride = (3 * width + 3) & ~3
    header = struct.pack("<2sIHHI", b"BM", 54 + stride * height, 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, stride * height, 2835, 2835, 0, 0)
    # Noise over a smooth ramp: nothing a resampler could shortcut.
    rng = random.Random(1)
    noise = rng.randbytes(3 * width * 2)
    pad = bytes(stride - 3 * width)
    shifts = [bytes((b + s) & 0xFF for b in range(256)) for s in range(64)]
    with open(path, "wb") as out:
        out.write(header)
        out.write(info)
        for y in range(height):
            start = (y * 7919) % (3 * width)
            out.write(noise[start:start + 3 * width].translate(shifts[y & 0x3F]))
            out.write(pad)


def measure(name, runs, operation):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        operation()
        times.append((time.perf_counter() - start) * 1000.0)
    times.sort()
    n = len(times)
    median = times[n // 2] if n % 2 else (times[n // 2 - 1] + times[n // 2]) / 2
    print(f"op={name} median_ms={median:.3f} min_ms={times[0]:.3f}")


def main(argv):
    from PIL import Image  # bench-only dependency (Debian's python3-pil)

    command = argv[1]
    if command == "make":
        make(argv[2], int(argv[3]), int(argv[4]))
        return 0
    picture = Image.open(argv[2])
    picture.load()
    if command == "resize":
        size = (int(argv[3]), int(argv[4]))
        bilinear = getattr(Image, "Resampling", Image).BILINEAR
        measure("pillow_resize", int(argv[5]), lambda: picture.resize(size, bilinear))
        return 0
    if command == "transpose":
        transpose = getattr(Image, "Transpose", Image)
        operations = {
            "rotate1": transpose.ROTATE_270,  # Pillow turns counter-clockwise
            "rotate2": transpose.ROTATE_180,
            "rotate3": transpose.ROTATE_90,
            "flip0": transpose.FLIP_LEFT_RIGHT,
            "flip1": transpose.FLIP_TOP_BOTTOM,
        }
        method = operations[argv[3]]
        measure("pillow_" + argv[3], int(argv[4]), lambda: picture.transpose(method))
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
