#!/usr/bin/env python3
"""Reads a pack and replays it in place, written from doc/pack-format.md alone.

usage: read_pack.py PACK OLD_IMAGE NEW_IMAGE CODEBASE FLASHSIZE

The images are raw bytes as the device holds them at CODEBASE; the code area
runs from CODEBASE up to FLASHSIZE, both offsets from the flash base (C
notation, as packcli takes them). Exit 0 with one summary line when the pack
reads, replays in place and gives the new image; otherwise exit 1 naming the
refusal.
"""
import binascii
import lzma
import struct
import sys

MAGIC = b"VYNOTA01"
HEADER = 28
BLOCK_HEADER = 13
PROPERTIES = 0x5D  # lc 3, lp 0, pb 2
STATED_DICTIONARY = 33554432
WINDOW = 8192  # the device's window; a pack needing more is refused
UNITS = (4096, 32768, 65536)
ENTRY = 12
GIB = 1 << 30


class Refused(Exception):
    pass


def crc(data):
    """Reflected CRC-32, register starting at 0 and no final inversion."""
    return binascii.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF


def lzma1(dictionary):
    return [{"id": lzma.FILTER_LZMA1, "dict_size": dictionary, "lc": 3, "lp": 0, "pb": 2}]


def read_header(pack):
    if len(pack) < HEADER or pack[:8] != MAGIC:
        raise Refused("not a pack: shorter than 28 bytes or the magic is not VYNOTA01")
    old_crc, old_start, old_size, data_crc, data_length = struct.unpack_from("<5I", pack, 8)
    if data_length != len(pack) - HEADER:
        raise Refused("dataLength %d but the file holds %d data bytes" % (data_length, len(pack) - HEADER))
    if crc(pack[HEADER:]) != data_crc:
        raise Refused("dataCrc 0x%08X does not match the data (0x%08X)" % (data_crc, crc(pack[HEADER:])))
    if old_start + old_size > 1 << 32:
        raise Refused("oldStart + oldSize runs past 2^32")
    return old_crc, old_start, old_size


def stated_length(data, code_size):
    if len(data) < BLOCK_HEADER:
        raise Refused("the LZMA block is shorter than its 13-byte header")
    properties, dictionary, stated = struct.unpack_from("<BIQ", data, 0)
    if properties != PROPERTIES:
        raise Refused("LZMA properties byte 0x%02X, not 0x5D" % properties)
    if dictionary != STATED_DICTIONARY:
        raise Refused("LZMA dictionary field %d, not 33554432" % dictionary)
    bound = min(4 + 12 * (code_size // 4096) + 13 * code_size, GIB)
    if stated > bound:
        raise Refused("stated length %d is more than the code area can need (%d)" % (stated, bound))
    return stated


def decode(data, stated):
    """The block as a general-purpose reader sees it: exact length, nothing left over, no end marker."""
    whole = lzma.LZMADecompressor(format=lzma.FORMAT_ALONE)
    try:
        stream = whole.decompress(data)
    except lzma.LZMAError as error:
        raise Refused("the LZMA data does not decode: %s" % error)
    if not whole.eof or whole.unused_data or len(stream) != stated:
        raise Refused("the LZMA data decodes to %d bytes, stated %d, eof %s, %d bytes left over"
                      % (len(stream), stated, whole.eof, len(whole.unused_data)))
    # The stand-alone decoder also takes an end marker after the stated length; only a raw one shows it.
    raw = lzma.LZMADecompressor(format=lzma.FORMAT_RAW, filters=lzma1(STATED_DICTIONARY))
    try:
        raw.decompress(data[BLOCK_HEADER:], max_length=stated)
    except lzma.LZMAError as error:
        raise Refused("the raw LZMA1 data does not decode: %s" % error)
    if raw.eof:
        raise Refused("the LZMA data carries an end marker")
    return stream


def decode_within_window(lzma_data, stated):
    """Decodes as a device does, over an 8 KiB window: a match reaching further fails here."""
    device = lzma.LZMADecompressor(format=lzma.FORMAT_RAW, filters=lzma1(WINDOW))
    try:
        stream = device.decompress(lzma_data, max_length=stated)
    except lzma.LZMAError:
        raise Refused("the LZMA data breaks the window rule: it does not decode with an %d-byte window" % WINDOW)
    if len(stream) != stated:
        raise Refused("the LZMA data decodes to %d bytes within the window, stated %d" % (len(stream), stated))
    return stream


def parse_stream(stream):
    """Returns [(target, chunkCrc, [(source, diff bytes, literal bytes)])]."""
    if len(stream) < 4:
        raise Refused("the patch stream is shorter than 4 bytes")
    (count,) = struct.unpack_from("<I", stream, 0)
    at, table = 4, []
    if count == 0:
        raise Refused("chunkCount is 0: the pack has no chunks")
    if 12 * count > len(stream) - at:
        raise Refused("chunkCount %d asks for more entries than the stream holds" % count)
    # Every record covers a byte of its chunk, so a chunk takes at most its entry, 65536 records and 65536 bytes.
    most = 4 + count * (ENTRY + (ENTRY + 1) * max(UNITS))
    if len(stream) > most:
        raise Refused("the stream's %d bytes are more than %d chunks can need (%d)" % (len(stream), count, most))
    for c in range(count):
        if at + 12 > len(stream):
            raise Refused("chunk %d's entry runs past the stream" % c)
        target, chunk_crc, records = struct.unpack_from("<3I", stream, at)
        at += 12
        if 12 * records > len(stream) - at:
            raise Refused("chunk %d's recordCount %d asks for more entries than the stream holds" % (c, records))
        entries = [struct.unpack_from("<3I", stream, at + 12 * r) for r in range(records)]
        for r, (_, diff_length, extra_length) in enumerate(entries):
            if diff_length + extra_length == 0:
                raise Refused("chunk %d, record %d: both lengths are 0" % (c, r))
        table.append((target, chunk_crc, entries))
        at += 12 * records
    every = [record for _, _, records in table for record in records]
    diff_at = at
    extra_at = diff_at + sum(r[1] for r in every)
    if extra_at + sum(r[2] for r in every) != len(stream):
        raise Refused("the table and its lengths do not add up to the stream's %d bytes" % len(stream))
    chunks = []
    for target, chunk_crc, records in table:
        parts = []
        for source, diff_length, extra_length in records:
            parts.append((source, stream[diff_at:diff_at + diff_length], stream[extra_at:extra_at + extra_length]))
            diff_at += diff_length
            extra_at += extra_length
        chunks.append((target, chunk_crc, parts))
    return chunks


def check_places(chunks, code_start, code_end, old_start, old_end):
    """Every refusal on the chunks' places and sources, before anything is written."""
    if not chunks:
        raise Refused("the pack has no chunks")
    units = []
    for c, (target, _, parts) in enumerate(chunks):
        length = sum(len(d) + len(e) for _, d, e in parts)
        if length not in UNITS or target % length or target + length > 1 << 32:
            raise Refused("chunk %d: %d bytes at 0x%08X is not an aligned erase unit" % (c, length, target))
        if target < code_start or target + length > code_end:
            raise Refused("chunk %d: [0x%08X, 0x%08X) lies outside the code area" % (c, target, target + length))
        for source, diff, _ in parts:
            if diff and (source < old_start or source + len(diff) > old_end):
                raise Refused("chunk %d reads [0x%08X, 0x%08X) outside the old image's area"
                              % (c, source, source + len(diff)))
        units.append((target, target + length))
    # Back to back one way, the first two setting it: no overlap, no gap, one range from oldStart.
    forward = len(units) < 2 or units[1][0] > units[0][0]
    for c in range(1, len(units)):
        (start, end), (before_start, before_end) = units[c], units[c - 1]
        if (start != before_end) if forward else (end != before_start):
            raise Refused("chunk %d: [0x%08X, 0x%08X) does not lie right %s chunk %d's unit" % (
                c, start, end, "after" if forward else "before", c - 1))
    lowest = units[0][0] if forward else units[-1][0]
    if lowest != old_start:
        raise Refused("the units begin at 0x%08X, not at oldStart 0x%08X" % (lowest, old_start))
    return units


def replay(chunks, flash, base):
    """Applies the chunks in stream order on flash (flash[0] is offset base), each built from the flash as it stands."""
    for c, (target, chunk_crc, parts) in enumerate(chunks):
        new = bytearray()
        for source, diff, extra in parts:
            old = flash[source - base:source - base + len(diff)]
            new += bytes((a + b) & 0xFF for a, b in zip(old, diff))
            new += extra
        if crc(new) != chunk_crc:
            raise Refused("chunk %d at 0x%08X sums to 0x%08X, not its chunkCrc 0x%08X"
                          % (c, target, crc(new), chunk_crc))
        flash[target - base:target - base + len(new)] = new


def writer_tiling(start, end):
    """The units the writer tiles [start, end) with: the largest unit aligned and fitting at each step."""
    tiles, at = [], start
    while at < end:
        unit = next(u for u in UNITS[::-1] if at % u == 0 and end - at >= u)
        tiles.append((at, at + unit))
        at += unit
    return tiles


def read_pack(pack, old_image, new_image, code_start, code_end):
    if not 0 <= code_start < code_end <= 1 << 32:
        raise Refused("the code area [0x%X, 0x%X) is empty or too large" % (code_start, code_end))
    if code_start + max(len(old_image), len(new_image)) > code_end:
        raise Refused("an image does not fit in the code area")
    old_crc, old_start, old_size = read_header(pack)
    flash = bytearray(old_image) + b"\xFF" * (code_end - code_start - len(old_image))
    if old_start != code_start or old_size > len(old_image):
        raise Refused("the pack's old image [0x%08X, 0x%08X) is not the given one, at the code area's start"
                      % (old_start, old_start + old_size))
    if crc(flash[old_start - code_start:old_start - code_start + old_size]) != old_crc:
        raise Refused("the flash does not sum to oldCrc 0x%08X" % old_crc)
    data = pack[HEADER:]
    stated = stated_length(data, code_end - code_start)
    stream = decode(data, stated)
    if decode_within_window(data[BLOCK_HEADER:], stated) != stream:
        raise Refused("the LZMA data decodes differently within the window")
    chunks = parse_stream(stream)
    units = check_places(chunks, code_start, code_end, old_start, old_start + old_size)
    replay(chunks, flash, code_start)
    if flash[:len(new_image)] != new_image:
        at = next(i for i, (a, b) in enumerate(zip(flash, new_image)) if a != b)
        raise Refused("after the replay the flash differs from the new image at 0x%08X" % (code_start + at))
    new_end = code_start + len(new_image) + (-len(new_image)) % 4096
    if sorted(units) != writer_tiling(old_start, new_end):
        raise Refused("the units do not tile the new image's extent as the writer does")
    walk = "one chunk" if len(units) < 2 else "forward" if units[0] < units[1] else "backward"
    records = sum(len(parts) for _, _, parts in chunks)
    return ("pack OK: %d chunks (%s), %d records, stream %d bytes in %d data bytes, new image %d bytes at 0x%08X"
            % (len(chunks), walk, records, stated, len(data), len(new_image), old_start))


def c_number(text):
    """A number as packcli reads it: 0x.. hexadecimal, 0.. octal, else decimal."""
    if text[:2].lower() == "0x":
        return int(text[2:], 16)
    return int(text, 8 if text.startswith("0") and len(text) > 1 else 10)


def main(argv):
    if len(argv) != 5:
        sys.exit(__doc__)
    with open(argv[0], "rb") as f:
        pack = f.read()
    with open(argv[1], "rb") as f:
        old_image = f.read()
    with open(argv[2], "rb") as f:
        new_image = f.read()
    try:
        print(read_pack(pack, old_image, new_image, c_number(argv[3]), c_number(argv[4])))
    except Refused as refusal:
        print("refused: %s" % refusal, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
