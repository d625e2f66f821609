#!/usr/bin/env python3
"""Writes a plausible pair of firmware images (old, next version) as LOD files.

The model is a Thumb-like code image: functions of 16-bit instructions that
call each other with relative branches, literal pools of absolute pointers,
a read-only data area of strings and tables, and 0xFF padding. The next
version inserts and removes functions, edits a few, changes constants and
grows; every pointer and branch is recomputed from the new layout, so the
bytes shift and change the way a rebuilt firmware's do.

usage: make_firmware_pair.py SIZE SEED OLD NEW [--raw] [--erased BYTES]
  SIZE     image size in bytes of the old image (rounded up to 4 KiB)
  --raw    also write OLD.bin and NEW.bin (raw bytes, for other diff tools)
  --erased append BYTES of erased flash (0xFF) to both images, as dumps of
           the whole flash have
"""
import random
import struct
import sys

FLASH = 0x08000000
CODE_BASE = 0x10000
SECTOR = 4096


class Function:
    def __init__(self, rng, ident, count):
        self.ident = ident
        self.body = [rng.choice(OPCODES) | rng.randrange(256) for _ in range(rng.randrange(24, 700))]
        self.calls = sorted(rng.sample(range(len(self.body)), min(len(self.body) // 40 + 1, 12)))
        self.callees = [rng.randrange(count) for _ in self.calls]
        self.pool = [("fn", rng.randrange(count)) if rng.random() < 0.6 else ("k", rng.getrandbits(32))
                     for _ in range(rng.randrange(1, 12))]


OPCODES = [0x4600, 0x6800, 0x6000, 0x2000, 0x3000, 0xB500, 0xBD00, 0x4700, 0xD000, 0xE000, 0x1C00, 0x4280]


def layout(functions):
    address, places = FLASH + CODE_BASE + 0x200, {}
    for f in functions:
        places[f.ident] = address
        address += 2 * len(f.body) + 2 * 2 * len(f.calls) + 4 * len(f.pool)
        address += (-address) % 4
    return places, address


def emit(functions, rodata, tail, size):
    places, end = layout(functions)
    image = bytearray(b"\x00" * 0x200)
    struct.pack_into("<I", image, 0, 0x20020000)  # initial stack pointer
    for i in range(1, 0x80):  # vector table of handler addresses
        struct.pack_into("<I", image, 4 * i, places[functions[i % len(functions)].ident] | 1)
    for f in functions:
        here = places[f.ident]
        code = bytearray()
        calls = dict(zip(f.calls, f.callees))
        for index, half in enumerate(f.body):
            code += struct.pack("<H", half)
            if index in calls:
                target = places.get(calls[index], here)
                offset = ((target - (here + len(code) + 4)) >> 1) & 0x3FFFFF
                code += struct.pack("<HH", 0xF000 | (offset >> 11), 0xF800 | (offset & 0x7FF))
        code += b"\x00" * ((-len(code)) % 4)
        for kind, value in f.pool:
            code += struct.pack("<I", (places.get(value, here) | 1) if kind == "fn" else value)
        image += code
    image += rodata + tail
    image += b"\xFF" * ((-len(image)) % SECTOR)
    if len(image) < size:
        image += b"\xFF" * (size - len(image))
    return bytes(image)


def rodata_for(rng, length):
    words = [b"init", b"error", b"flash", b"timeout", b"sensor", b"radio", b"update", b"ok", b"version"]
    data = bytearray()
    while len(data) < length:
        if rng.random() < 0.5:
            data += b" ".join(rng.choice(words) for _ in range(rng.randrange(1, 6))) + b"\x00"
        elif rng.random() < 0.5:
            data += bytes(rng.randrange(8) * 16)  # zero-initialised blocks
        else:
            data += struct.pack("<8H", *[rng.randrange(4096) for _ in range(8)])
    return data[:length]


def next_version(rng, functions, count):
    changed = list(functions)
    for _ in range(rng.randrange(3, 7)):  # new functions
        changed.insert(rng.randrange(len(changed)), Function(rng, count, count))
        count += 1
    del changed[rng.randrange(len(changed))]  # one removed
    for f in rng.sample(changed, max(1, len(changed) // 25)):  # edited bodies
        for _ in range(rng.randrange(1, 6)):
            f.body[rng.randrange(len(f.body))] = rng.choice(OPCODES) | rng.randrange(256)
        f.pool = [(kind, rng.getrandbits(32) if kind == "k" and rng.random() < 0.3 else value)
                  for kind, value in f.pool]
    return changed


def lod_text(image):
    lines = ["# sample firmware image", "#$BOOT_SECTOR 0x%x" % (CODE_BASE + 0x100), "@%08x" % (FLASH + CODE_BASE)]
    lines += ["%08x" % word for (word,) in struct.iter_unpack("<I", image)]
    return "\n".join(lines) + "\n"


def main(argv):
    raw = "--raw" in argv
    args = [a for a in argv if a != "--raw"]
    erased = 0
    if "--erased" in args:
        at = args.index("--erased")
        if at + 1 >= len(args):
            sys.exit(__doc__)
        erased = int(args[at + 1], 0)
        del args[at:at + 2]
    if len(args) != 4:
        sys.exit(__doc__)
    size, seed, old_path, new_path = int(args[0], 0), int(args[1]), args[2], args[3]
    size += (-size) % SECTOR
    rng = random.Random(seed)

    count, functions = 0, []
    rodata = rodata_for(rng, size // 5)
    while layout(functions)[1] - FLASH - CODE_BASE < size * 7 // 10:
        functions.append(Function(rng, count, 1 << 30))
        count += 1
    for f in functions:  # resolve references among the functions that exist
        f.callees = [c % count for c in f.callees]
        f.pool = [(k, v % count if k == "fn" else v) for k, v in f.pool]
    old = emit(functions, rodata, b"", size)[:size]

    import copy
    newer = next_version(rng, copy.deepcopy(functions), count)
    new_rodata = bytearray(rodata)
    for _ in range(40):
        new_rodata[rng.randrange(len(new_rodata))] = rng.randrange(256)
    grown = rodata_for(rng, size // 8)
    new = emit(newer, bytes(new_rodata), grown, size)
    old += b"\xFF" * erased
    new += b"\xFF" * erased

    for path, image in ((old_path, old), (new_path, new)):
        with open(path, "w") as out:
            out.write(lod_text(image))
        if raw:
            with open(path + ".bin", "wb") as out:
                out.write(image)


if __name__ == "__main__":
    main(sys.argv[1:])
