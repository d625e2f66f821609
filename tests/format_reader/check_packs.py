#!/usr/bin/env python3
"""Checks packcli's packs with the document-only reader, and the reader against the document's own figures.

usage: check_packs.py PACKCLI LOD_TO_IMAGE SOURCE_DIR WORK_DIR
"""
import lzma
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import read_pack as rp  # noqa: E402

failures = []


def expect(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def refusal(call):
    try:
        call()
    except rp.Refused as refused:
        return str(refused)
    return None


def checksum_figures():
    expect(rp.crc(b"") == 0 and rp.crc(b"123456789") == 0x2DFD2D88 and rp.crc(b"\xFF") == 0x2D02EF8D
           and rp.crc(bytes(1000)) == 0, "checksum gives the document's figures")


def worked_example():
    old = b"\x11" * 4096 + b"\x22" * 4096
    new = b"\x12" * 4094 + b"OK" + b"\x33" * 4096
    table = struct.pack("<I", 2) + struct.pack("<6I", 0x10000, 0xE1FF735F, 1, 0x11000, 4094, 2) \
        + struct.pack("<6I", 0x11000, 0x63A7B512, 1, 0x11000, 4096, 0)
    stream = table + b"\xF0" * 4094 + b"\x11" * 4096 + b"OK"
    expect(len(table) == 52 and len(stream) == 8244 and rp.crc(old) == 0x05FF00D4,
           "worked example: table 52 bytes, stream 8244, oldCrc 0x05FF00D4")
    chunks = rp.parse_stream(stream)
    rp.check_places(chunks, 0x10000, 0x400000, 0x10000, 0x12000)
    flash = bytearray(old)
    rp.replay(chunks, flash, 0x10000)
    expect(flash == new, "worked example replays in place to the new image")
    flash = bytearray(old)
    why = refusal(lambda: rp.replay(chunks[::-1], flash, 0x10000))
    expect(why is not None and "chunk 1" in why and flash[4096:] == b"\x33" * 4096 and flash[:4096] == old[:4096],
           "worked example played the other way round fails chunk 0's checksum without writing it: %s" % why)
    expect(refusal(lambda: rp.parse_stream(stream[:-1])) is not None
           and refusal(lambda: rp.parse_stream(stream + b"\0")) is not None
           and refusal(lambda: rp.parse_stream(struct.pack("<I", 700) + stream[4:])) is not None,
           "a stream a byte short, a byte long or with a chunkCount too large is refused")
    expect(refusal(lambda: rp.check_places(chunks, 0x10000, 0x400000, 0x10000, 0x11000)) is not None
           and refusal(lambda: rp.check_places(chunks, 0x10000, 0x11000, 0x10000, 0x12000)) is not None,
           "a record reading past the old image's area, or a chunk past the code area, is refused")
    # Chunk 1 with a third record of no bytes, the stream's lengths still adding up.
    empty = struct.pack("<I", 2) + struct.pack("<6I", 0x10000, 0xE1FF735F, 1, 0x11000, 4094, 2) \
        + struct.pack("<9I", 0x11000, 0x63A7B512, 2, 0x11000, 4096, 0, 0x11000, 0, 0) + stream[len(table):]
    gap = [(0x12000 if c == 1 else t, crc, parts) for c, (t, crc, parts) in enumerate(chunks)]
    moved = [(t + 0x1000, crc, parts) for t, crc, parts in chunks]
    expect(refusal(lambda: rp.parse_stream(struct.pack("<I", 0))) is not None
           and "both lengths" in (refusal(lambda: rp.parse_stream(empty)) or "")
           and "right after" in (refusal(lambda: rp.check_places(gap, 0x10000, 0x400000, 0x10000, 0x13000)) or "")
           and "oldStart" in (refusal(lambda: rp.check_places(moved, 0x10000, 0x400000, 0x10000, 0x13000)) or "")
           and "right after" in (refusal(lambda: rp.check_places(chunks + chunks[:1], 0x10000, 0x400000, 0x10000,
                                                                  0x12000)) or ""),
           "no chunks, an empty record, a gap between units, units away from oldStart and a unit written "
           "twice are refused")
    # The same stream in a pack whose LZMA data ends with an end marker, as liblzma's raw encoder writes it.
    data = struct.pack("<BIQ", 0x5D, 33554432, len(stream)) + lzma.compress(
        stream, format=lzma.FORMAT_RAW, filters=rp.lzma1(8192))
    pack = b"VYNOTA01" + struct.pack("<5I", rp.crc(old), 0x10000, len(old), rp.crc(data), len(data)) + data
    why = refusal(lambda: rp.read_pack(pack, old, new, 0x10000, 0x400000))
    expect(why is not None and "end marker" in why, "a block with an end marker is refused: %s" % why)


def window_rule():
    for distance, fits in ((8192, True), (8193, False)):
        noise = os.urandom(distance)
        plain = noise + noise[:300]
        packed = lzma.compress(plain, format=lzma.FORMAT_RAW, filters=rp.lzma1(1 << 20))
        why = refusal(lambda: rp.decode_within_window(packed, len(plain)))
        expect((why is None) == fits, "a match at distance %d %s the 8 KiB window" % (
            distance, "decodes within" if fits else "is refused by"))


class Pair:
    def __init__(self, name, old_lod, new_lod, code_base, flash_size):
        self.name, self.old_lod, self.new_lod = name, old_lod, new_lod
        self.code_base, self.flash_size = code_base, flash_size


def run(command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)


def moved_lod(path, moved, code_base):
    """The same dump placed at another code base, its boot tag moved with it."""
    with open(path) as f:
        text = f.read()
    text = text.replace("#$BOOT_SECTOR 0x10100", "#$BOOT_SECTOR 0x%x" % (code_base + 0x100))
    text = text.replace("@08010000", "@%08x" % (0x08000000 + code_base))
    with open(moved, "w") as f:
        f.write(text)
    return moved


def pairs(source, work):
    make = [sys.executable, os.path.join(source, "examples", "make_firmware_pair.py")]
    result = [Pair("examples", os.path.join(source, "examples", "old.lod"),
                   os.path.join(source, "examples", "new.lod"), 0x10000, 0x400000)]
    for size, seed, extra in ((0x9000, 5, []), (0xA1000, 11, ["--erased", "0x3000"])):
        old, new = os.path.join(work, "g%d-old.lod" % seed), os.path.join(work, "g%d-new.lod" % seed)
        done = run(make + [hex(size), str(seed), old, new] + extra)
        expect(done.returncode == 0, "generate a %s-byte pair, seed %d %s" % (hex(size), seed, done.stdout))
        result.append(Pair("generated %s seed %d" % (hex(size), seed), old, new, 0x10000, 0x400000))
    first = result[1]
    result.append(Pair("new image smaller than the old", first.new_lod, first.old_lod, 0x10000, 0x400000))
    result.append(Pair("code base 0x30000", moved_lod(first.old_lod, os.path.join(work, "m-old.lod"), 0x30000),
                       moved_lod(first.new_lod, os.path.join(work, "m-new.lod"), 0x30000), 0x30000, 0x200000))
    return result


def damaged(pack, work, name):
    data = bytearray(pack)
    data[len(data) // 2 + 7] ^= 0x10
    resealed = bytearray(data)
    struct.pack_into("<I", resealed, 20, rp.crc(bytes(resealed[28:])))
    short = bytearray(pack[:-5])
    struct.pack_into("<II", short, 20, rp.crc(bytes(short[28:])), len(short) - 28)
    files = {"a flipped data byte": (data, "dataCrc"), "a truncated pack": (pack[:-5], "dataLength"),
             "a flipped data byte under a new dataCrc": (resealed, ""),
             "a truncated pack under a new header": (short, "")}
    for what, (content, reason) in files.items():
        path = os.path.join(work, "%s-%s.pack" % (name, what.replace(" ", "-")))
        with open(path, "wb") as f:
            f.write(content)
        yield what, path, reason


def packcli_packs(packcli, lod_to_image, source, work):
    for index, pair in enumerate(pairs(source, work)):
        base, size = hex(pair.code_base), hex(pair.flash_size)
        pack, old, new = (os.path.join(work, "p%d.%s" % (index, ext)) for ext in ("pack", "old", "new"))
        made = run([packcli, size, base, pair.old_lod, pair.new_lod, pack])
        converted = run([lod_to_image, pair.old_lod, old, base, size]).returncode == 0 \
            and run([lod_to_image, pair.new_lod, new, base, size]).returncode == 0
        expect(made.returncode == 0 and converted, "%s: packcli and lod-to-image %s" % (pair.name, made.stdout))
        if made.returncode or not converted:
            continue
        read = run([sys.executable, rp.__file__, pack, old, new, base, size])
        expect(read.returncode == 0 and read.stdout.startswith("pack OK"), "%s: %s" % (pair.name, read.stdout.strip()))
        if index > 1:
            continue
        with open(pack, "rb") as f:
            content = f.read()
        for what, path, reason in damaged(content, work, "p%d" % index):
            read = run([sys.executable, rp.__file__, path, old, new, base, size])
            expect(read.returncode == 1 and "refused" in read.stdout and reason in read.stdout,
                   "%s, %s: %s" % (pair.name, what, read.stdout.strip()))


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    packcli, lod_to_image, source, work = argv
    os.makedirs(work, exist_ok=True)
    checksum_figures()
    worked_example()
    window_rule()
    packcli_packs(packcli, lod_to_image, source, work)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
