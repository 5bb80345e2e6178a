#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/ from the sample data.

usage: make-corpus.py SAMPLE_ROOT

SAMPLE_ROOT is a root filled by kivo-sample-data (BP, QUIRN, AP and kernel samples); the FTS
titles come from the FTS engine simulator's shipped list and the telephony events are laid out
as the telephony simulator sends them. Targets that split their input with libFuzzer's
FuzzedDataProvider get seeds in its layout: integers taken from the end, strings from the front
(a backslash ends a string, a doubled one stands for itself).
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(HERE)


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def fdp_string(data, last=False):
    """A string as ConsumeRandomLengthString reads it back."""
    escaped = data.replace(b"\\", b"\\\\")
    return escaped if last else escaped + b"\\x"


def fdp_range(value, low, high):
    """The bytes at the end that ConsumeIntegralInRange(low, high) turns into value, in the
    order they stand in the input (the first one consumed is the last byte)."""
    span = high - low
    offset = value - low
    count = 0
    while count < 8 and (span >> (8 * count)) > 0:
        count += 1
    consumed = [(offset >> (8 * (count - 1 - i))) & 0xFF for i in range(count)]
    return bytes(reversed(consumed))


def fdp_int32(value):
    return fdp_range(value, -(1 << 31), (1 << 31) - 1)


def read(root, path):
    with open(os.path.join(root, path.lstrip("/")), "rb") as source:
        return source.read()


def panic_seeds(root):
    for name in ("bp_panic.log1", "bp_panic.log2"):
        write("fuzz_bp_blocks", name, read(root, "/veklocal/panic/" + name))
    for name in ("qupanic_block.a", "qupanic_block.b"):
        write("fuzz_quirn_blocks", name, read(root, "/veklocal/panic/" + name))
    write("fuzz_kernel_report", "kpanic", read(root, "/dev/mtdblock/kpanic"))

    table = read(root, "/usr/data_resource/apr/coredump_table.cfg")
    dumps = sorted(os.listdir(os.path.join(root, "veklocal/apr_app_dump")))
    names = [name.encode() for name in dumps][:3]
    # The byte before the name count marks the names that become dangling symlinks (bit i: name i).
    strings = b"".join(fdp_string(name) for name in names)
    write("fuzz_module_table", "sample-dumps",
          strings + table + bytes([0]) + fdp_range(len(names), 0, 3))
    write("fuzz_module_table", "one-dangling",
          strings + table + bytes([0b010]) + fdp_range(len(names), 0, 3))
    write("fuzz_module_table", "no-names", table + bytes([0]) + fdp_range(0, 0, 3))


def titles_block(titles):
    block = bytes([len(titles)])
    for title in titles:
        utf16 = title.encode("utf-16-be")
        block += struct.pack(">I", len(utf16)) + utf16
    return block


def fts_seeds():
    with open(os.path.join(TOP, "sim/fts/fts-titles.txt"), encoding="utf-8") as source:
        titles = [line.strip() for line in source if line.strip() and not line.startswith("#")]
    favourites = struct.pack(">ii", 5, 3)
    visibles = struct.pack(">ii", 0, 0xFFF)
    # Selectors are consumed from the end: the first message's is the last byte.
    write("fuzz_fts_message", "titles", fdp_string(titles_block(titles), last=True) +
          fdp_range(0, 0, 3))
    write("fuzz_fts_message", "favourites-visibles",
          fdp_string(favourites) + fdp_string(visibles, last=True) +
          fdp_range(2, 0, 3) + fdp_range(1, 0, 3))
    write("fuzz_fts_message", "titles-twice",
          fdp_string(titles_block(titles)) + fdp_string(titles_block(titles[:3]), last=True) +
          fdp_range(0, 0, 3) + fdp_range(0, 0, 3))
    write("fuzz_fts_message", "request-name",
          fdp_string(b"getTitles(QString,QString)") + fdp_string(b"", last=True) +
          fdp_range(3, 0, 3))


def sticker_event(code, arfcn=62, cell=0x2A14, lac=0x0B12):
    return struct.pack("<IIHH", code, arfcn, cell, lac)


def tapi_seeds():
    def seed(state, prev, arfcn, stored, events):
        front = b"".join(raw for _, raw in events)
        back = b""
        # Per event, consumed in this order from the end: ConsumeBool (odd: 0x0F03),
        # [the type, when not 0x0F03], the length.
        for event_type, raw in reversed(events):
            if event_type == 0x0F03:
                back += fdp_range(len(raw), 0, 16) + b"\x01"
            else:
                back += fdp_range(len(raw), 0, 16) + struct.pack("<H", event_type) + b"\x00"
        state_bytes = (struct.pack("<I", 0) + fdp_int32(stored) + fdp_int32(arfcn) + b"\x01" +
                       fdp_range(prev, -1, 3) + fdp_range(state, -1, 3))
        return front + back + state_bytes

    write("fuzz_tapi_event", "pending-mode-entered",
          seed(1, 0, 62, -1, [(0x0F03, sticker_event(6))]))
    write("fuzz_tapi_event", "pending-barred", seed(1, 2, 36, 62, [(0x0F03, sticker_event(2, 36))]))
    write("fuzz_tapi_event", "set-stopped", seed(2, 1, 62, 62, [(0x0F03, sticker_event(7))]))
    write("fuzz_tapi_event", "wrong-arfcn", seed(1, 0, 1200, -1, [(0x0F03, sticker_event(0x100, 1200, 0, 0))]))
    write("fuzz_tapi_event", "scanning-then-entered",
          seed(1, 0, 520, -1, [(0x0F03, sticker_event(8, 520)), (0x0F03, sticker_event(6, 520))]))
    write("fuzz_tapi_event", "short-and-other-type",
          seed(1, 0, 62, -1, [(0x0F03, b"\x06\x00\x00"), (0x0F04, sticker_event(6))]))


def settings_seeds():
    ini = (b"[KIVO]\nmsg_warning_mode=1\ntone_warning_mode=0\nkivo_mode=2\nstoredArfcn=62\n"
           b"cell_sticker_mode=1\nCell%20Sticker%20State=2\n")
    write("fuzz_settings", "kivo.ini", b"\x03" + ini)
    write("fuzz_settings", "hand-edited", b"\x05" + b"[KIVO]\r\nCell Sticker State = 1\r\n"
          b"storedArfcn=4294967295\r\n; a comment\r\n")
    write("fuzz_settings", "volatile", b"\x00" + b"[KIVO]\nCell%20Barring=1\n")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    panic_seeds(sys.argv[1])
    fts_seeds()
    tapi_seeds()
    settings_seeds()


if __name__ == "__main__":
    main()
