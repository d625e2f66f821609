#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_plan and fuzz_suffix_index into fuzz/corpus/.

Each seed spells out a header and a few edits in the input format described at
the top of fuzz/fuzz_plan.cpp and fuzz/fuzz_suffix_index.cpp. They are chosen so
that the fast planner's suffix index is repaired in place (partial updates), not
only sorted again, in both walk directions and at 4, 32 and 64 KiB chunks. Check
with: FUZZ_REPORT_COUNTS=1 build-fuzz/fuzz/fuzz_plan fuzz/corpus/plan/*
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def u16(value):
    return struct.pack(">H", value)


# fuzz_plan: head (size class << 5 | pad 0xFF << 3 | content), size bits (u16), code
# base (low nibble: sectors into 64 KiB, high nibble: 64 KiB units), new size rule,
# edits that shape the old image, seed (u16); then edits.
COPY, INSERT, DELETE, LITERAL, ZEROS, ERASED, WORD, DUPLICATE, RANDOM, SCATTER, MOVE = range(11)


def plan_header(size_class, content, size_bits, base, size_rule=0, old_edits=0, seed=0x1234, erased_pad=True):
    head = size_class << 5 | (8 if erased_pad else 0) | content
    return bytes([head]) + u16(size_bits) + bytes([base, size_rule, old_edits]) + u16(seed)


def plan_edit(kind, at, length_code, parameter=0, source=0, literal=b""):
    """at and source are shares of the image in 1/65536; literal follows a LITERAL edit."""
    return bytes([kind]) + u16(at) + bytes([length_code, parameter]) + u16(source) + literal


def length(kind, low):
    """Length codes: 0 -> 1 + low bytes, 1 -> about 64 * low, 2 -> 1 KiB * (1 + low), 3 -> (1 + low) / 64 of the image."""
    return kind << 6 | low


PLAN_SEEDS = {
    # 128 KiB of code, a block inserted near the start: content moves up, backward walk;
    # code base 0x3000 gives 4 KiB chunks, then 32 and 64 KiB ones.
    "moved_up": plan_header(6, 0, 31, 0x03)
    + plan_edit(INSERT, 0x2000, length(1, 46))
    + plan_edit(SCATTER, 0x0000, 0, 12)
    + plan_edit(ERASED, 0xE000, length(2, 3)),
    # 32 KiB of code, blocks deleted: content moves down, forward walk; code base 0x11000
    # (4 KiB chunks up to 0x18000, then 32 KiB ones).
    "moved_down": plan_header(0, 0, 7, 0x11, seed=0x0BAD)
    + plan_edit(DELETE, 0x1800, length(1, 40))
    + plan_edit(DUPLICATE, 0x9000, length(1, 20), 0, 0x3000)
    + plan_edit(WORD, 0xC000, length(1, 30), 0x5A)
    + plan_edit(DELETE, 0x4000, length(0, 63)),
    # 64 KiB of code with an erased tail, four sectors longer; the old image shaped by two edits first.
    "erased_tail": plan_header(5, 7, 15, 0x07, size_rule=0xC0 | 20, old_edits=2, seed=0x77)
    + plan_edit(ZEROS, 0x3000, length(1, 5))
    + plan_edit(COPY, 0x8000, length(1, 10), 0, 0x1000)
    + plan_edit(LITERAL, 0x0100, length(0, 7), 0, 0, bytes(range(0x41, 0x49)))
    + plan_edit(MOVE, 0x2000, length(1, 50), 0, 0xA000)
    + plan_edit(RANDOM, 0x7000, length(0, 40)),
    # One sector of random bytes, partly zeroed.
    "one_sector": plan_header(0, 1, 0, 0x00) + plan_edit(ZEROS, 0x4000, length(0, 63)),
    # 256 KiB of code moved down by a little at a 64 KiB-aligned base: 64 KiB chunks merged in place.
    "large_chunks": plan_header(6, 0, 63, 0x10, size_rule=0x80, seed=0x4242)
    + plan_edit(DELETE, 0x0400, length(0, 35))
    + plan_edit(SCATTER, 0, 0, 30),
}

# fuzz_suffix_index: head (content << 3 | size class), size bits (u16), seed (u32);
# then steps: kind, position (u16 share), length code, parameter, range.
S_RANDOM, S_ZEROS, S_ERASED, S_PATTERN, S_COPY, S_BUMP, S_BYTE, S_PERIOD, S_PREFIX, S_NOTHING = range(10)


def index_header(size_class, content, size_bits, seed=0xC0FFEE):
    return bytes([content << 3 | size_class]) + u16(size_bits) + struct.pack(">I", seed)


def step(kind, at, length_code, parameter=0, told=0):
    """told: low 2 bits widen the range told to update() to the left, next 2 to the right;
    0xF0 tells the whole text, 0xE0 a range past both ends; with 0x40 a NOTHING step tells an empty one."""
    return bytes([kind]) + u16(at) + bytes([length_code, parameter, told])


INDEX_SEEDS = {
    # 8000 bytes of code-like words, rewritten in the ways firmware changes.
    "code_8k": index_header(2, 0, 8000)
    + step(S_RANDOM, 0x4000, length(0, 63))
    + step(S_ERASED, 0x1000, length(1, 10), 0, 0x05)
    + step(S_COPY, 0x9000, length(1, 3), 0x10)
    + step(S_PERIOD, 0xC000, length(1, 5), 3)
    + step(S_BYTE, 0x2222, 0, 7)
    + step(S_PATTERN, 0x6000, length(0, 50), 2)
    + step(S_PREFIX, 0xA000, length(0, 40))
    + step(S_NOTHING, 0x3000, 0, 0, 0x40)
    + step(S_BUMP, 0x7000, length(0, 20), 1, 0xF0),
    # 56 KiB of code, 4 KiB rewrites: several walks of the gap search, many count blocks.
    "code_56k": index_header(6, 0, 40000, 0x5151)
    + step(S_COPY, 0x3000, length(2, 7), 0x80)
    + step(S_ERASED, 0x8000, length(2, 3))
    + step(S_RANDOM, 0xB000, length(2, 7))
    + step(S_PERIOD, 0x5000, length(2, 1), 40, 0x0F),
    # Erased flash with small things written into it: long runs, tied suffixes.
    "erased_4k": index_header(3, 2, 4000)
    + step(S_BYTE, 0x8000, 0, 0x10)
    + step(S_PATTERN, 0x2000, length(0, 30), 3)
    + step(S_PERIOD, 0xD000, length(1, 3), 1)
    + step(S_ZEROS, 0x4000, length(0, 9), 0, 0xE0),
    # Two byte values: many long common prefixes.
    "binary_300": index_header(0, 4, 300)
    + step(S_BUMP, 0x8000, length(0, 5), 0)
    + step(S_COPY, 0x1000, length(0, 20), 0xC0)
    + step(S_RANDOM, 0xF000, length(0, 2), 0, 0x0A),
    # The input tiled: exact repeats of the step bytes themselves.
    "tiled_2k": index_header(3, 5, 2048)
    + step(S_RANDOM, 0x7000, length(0, 30))
    + step(S_COPY, 0x2000, length(0, 60), 0x90)
    + step(S_ERASED, 0xE000, length(0, 63), 0, 0x03),
}


def write(folder, seeds):
    path = os.path.join(HERE, "corpus", folder)
    os.makedirs(path, exist_ok=True)
    for name, data in seeds.items():
        with open(os.path.join(path, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    write("plan", PLAN_SEEDS)
    write("suffix_index", INDEX_SEEDS)
