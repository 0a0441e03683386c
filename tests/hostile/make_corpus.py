#!/usr/bin/python3
"""Writes the hostile input corpus of tests/data/hostile: damaged and hostile
files for every parser of the program, one folder per parser. The output is
deterministic (fixed seeds, no time stamps): running it again must leave git
status clean.

  tests/hostile/make_corpus.py

File names tell the hostile tests what to expect: "bad-*" must be rejected,
"ok-*" must be handled without an error, anything else (truncations, flipped
bytes) may go either way but never crash, hang or touch anything outside the
product folder.

Formats of the case files:
  cfb/*.stg          update storages (compound files)
  compressed/*.z     stream elements (compressed-stream header + zlib)
  diff/*.diff        u16 old length | old file | difference (as the fuzz target)
  reg/*.reg          registry scripts
  ini/<Element>@<case>.ini   the text of the storage's ini element <Element>
  pe/*.exe           files whose version resource the updater compares
"""
import os
import random
import shutil
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT = os.path.join(ROOT, "tests", "data", "hostile")

ENDOFCHAIN, FREESECT, FATSECT, DIFSECT, NOSTREAM = 0xFFFFFFFE, 0xFFFFFFFF, 0xFFFFFFFD, 0xFFFFFFFC, 0xFFFFFFFF


def write(folder, name, data):
    path = os.path.join(OUT, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def truncations(data, count):
    """Cut lengths spread over the whole file, the first bytes included."""
    lengths = {0, 1, 7, 8, 16, 75, 76, 511, 512, 513, len(data) - 1, len(data) // 2}
    step = max(1, len(data) // count)
    lengths.update(range(step, len(data), step))
    return sorted(n for n in lengths if 0 <= n < len(data))


# --- Compound files ---------------------------------------------------------

class Entry:
    def __init__(self, name, kind, data=b"", children=None):
        self.name, self.kind, self.data = name, kind, data
        self.children = children or []
        self.id = None
        self.left = self.right = self.child = NOSTREAM
        self.start, self.size = ENDOFCHAIN, 0
        self.raw_name = None  # UTF-16 bytes written as they are


def storage(name, *children):
    return Entry(name, 1, children=list(children))


def stream(name, data):
    return Entry(name, 2, data)


def name_key(e):
    raw = e.raw_name if e.raw_name is not None else e.name.encode("utf-16-le")
    return (len(raw), raw.decode("utf-16-le", "surrogatepass").upper())


class Cfb:
    """A version 3 compound file: the bytes plus where its parts lie, so that
    the cases can damage exactly one structure."""

    def __init__(self, root_children):
        self.root = Entry("Root Entry", 5, children=root_children)
        entries = []

        pending = [self.root]  # numbered without recursion: trees go thousands deep
        while pending:
            e = pending.pop()
            e.id = len(entries)
            entries.append(e)
            pending.extend(reversed(e.children))
        self.entries = entries
        for e in entries:
            if e.children:
                e.child = self.tree(sorted(e.children, key=name_key))
        sectors = []  # 512-byte payload sectors after the FAT sectors
        chains = []  # (first index in sectors, count) to link

        def add(data):
            if not data:
                return ENDOFCHAIN
            first = len(sectors)
            for i in range(0, len(data), 512):
                sectors.append(data[i:i + 512].ljust(512, b"\0"))
            chains.append((first, (len(data) + 511) // 512))
            return first

        mini, minifat = b"", []
        for e in entries:
            if e.kind == 2:
                e.size = len(e.data)
                if len(e.data) < 4096 and e.data:
                    e.start = len(mini) // 64
                    n = (len(e.data) + 63) // 64
                    minifat += [e.start + i + 1 for i in range(n - 1)] + [ENDOFCHAIN]
                    mini += e.data.ljust(n * 64, b"\0")
        dir_bytes_len = (len(entries) * 128 + 511) // 512 * 512
        self.dir_first = add(b"\0" * dir_bytes_len)
        minifat_bytes = b"".join(struct.pack("<I", v) for v in minifat)
        minifat_bytes += b"\xff" * ((-len(minifat_bytes)) % 512)
        self.minifat_first = add(minifat_bytes)
        self.minifat_count = len(minifat_bytes) // 512
        self.root.start = add(mini)
        self.root.size = len(mini)
        for e in entries:
            if e.kind == 2 and len(e.data) >= 4096:
                e.start = add(e.data)
        nfat = 1
        while nfat * 128 < len(sectors) + nfat:
            nfat += 1
        assert nfat <= 109
        fat = [FATSECT] * nfat + [FREESECT] * (nfat * 128 - nfat)
        for first, count in chains:
            for i in range(count):
                fat[nfat + first + i] = nfat + first + i + 1 if i + 1 < count else ENDOFCHAIN

        def shift(s):
            return s if s >= 0xFFFFFFF0 else s + nfat

        self.dir_first, self.minifat_first = shift(self.dir_first), shift(self.minifat_first)
        if self.minifat_count == 0:
            self.minifat_first = ENDOFCHAIN
        self.root.start = shift(self.root.start)
        for e in entries:
            if e.kind == 2 and e.size >= 4096:
                e.start = shift(e.start)
        self.nfat = nfat
        self.fat = fat
        self.body = bytearray(b"".join(sectors))
        d = bytearray()
        for e in entries:
            d += self.dir_entry(e)
        self.body[(self.dir_first - nfat) * 512:(self.dir_first - nfat) * 512 + len(d)] = d
        self.difat = list(range(nfat))

    def tree(self, children):
        if not children:
            return NOSTREAM
        mid = len(children) // 2
        node = children[mid]
        node.left = self.tree(children[:mid])
        node.right = self.tree(children[mid + 1:])
        return node.id

    @staticmethod
    def dir_entry(e):
        raw = e.raw_name if e.raw_name is not None else e.name.encode("utf-16-le")
        name = (raw + b"\0\0")[:64].ljust(64, b"\0")
        length = min(len(raw) + 2, 64)
        return (name + struct.pack("<HBBIII", length, e.kind, 1, e.left, e.right, e.child) +
                b"\0" * 16 + b"\0" * 4 + b"\0" * 16 + struct.pack("<IQ", e.start, e.size))

    def header(self):
        h = b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + b"\0" * 16
        h += struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
        h += struct.pack("<IIIIIIIII", 0, self.nfat, self.dir_first, 0, 4096, self.minifat_first,
                         self.minifat_count, ENDOFCHAIN, 0)
        difat = self.difat[:109] + [FREESECT] * (109 - len(self.difat[:109]))
        return h + b"".join(struct.pack("<I", v) for v in difat)

    def bytes(self):
        fat = b"".join(struct.pack("<I", v) for v in self.fat)
        return self.header() + fat + bytes(self.body)

    # Offsets within bytes() of the parts the cases damage.
    def sector_offset(self, sector):
        return 512 + sector * 512

    def fat_offset(self, sector):
        return 512 + sector * 4

    def entry_offset(self, entry_id):
        return self.sector_offset(self.dir_first) + entry_id * 128

    def entry(self, name):
        return next(e for e in self.entries if e.name == name)


def put32(data, offset, value):
    data[offset:offset + 4] = struct.pack("<I", value)


def put64(data, offset, value):
    data[offset:offset + 8] = struct.pack("<Q", value)


def compress(text, key=0x5A):
    head = b"SlvZ" + struct.pack("<II", len(text), zlib.crc32(text))
    return bytes(b ^ key for b in head) + bytes([key, 0, 0, 0]) + zlib.compress(text, 9)


INI = b"[Files]\r\n1=old.txt\r\n"
NOTES = b"".join(b"note %02d of the product\r\n" % i for i in range(12))  # 5 mini sectors
B_TXT = b"b" * 900
BIG = bytes((i * 7 + i // 512) & 0xFF for i in range(4096))


def base_cfb():
    return Cfb([
        storage("files", storage("product", stream("readme.txt", b"new readme\r\n"),
                                 stream("big.bin", BIG),
                                 stream("notes.txt", NOTES),
                                 storage("docs", stream("a.txt", b"docs a"), stream("b.txt", B_TXT)))),
        stream("Delete_After.ini", compress(INI)),
    ])


def cfb_cases():
    base = base_cfb()
    good = base.bytes()
    write("cfb", "ok-base.stg", good)
    for n in truncations(good, 24):
        write("cfb", "truncated-%05d.stg" % n, good[:n])
    # Single bytes: every header field, then the directory entries and the
    # FAT, then spread over the rest.
    rng = random.Random(20261206)
    header_fields = (24, 26, 28, 30, 32, 44, 48, 56, 60, 64, 68, 72)
    flips = {(off, 0xFF) for off in range(0, 76, 2)}
    flips |= {(off, good[off] ^ 0x01) for off in header_fields}
    flips |= {(base.entry_offset(i) + f, 0xFF) for i in range(len(base.entries))
              for f in (0, 64, 66, 76, 116, 120)}
    flips |= {(base.fat_offset(i), 0xFF) for i in range(base.nfat + 4)}
    flips |= {(off, 0xFF) for off in rng.sample(range(len(good)), 12)}
    for off, value in sorted(flips):
        if good[off] != value:
            b = bytearray(good)
            b[off] = value
            write("cfb", "flip-%05d-%02x.stg" % (off, value), bytes(b))

    readme, big = base.entry("readme.txt"), base.entry("big.bin")
    # FAT chains that cycle: a stream onto itself, two sectors onto each
    # other, the directory's chain onto itself.
    b = bytearray(good)
    put32(b, base.fat_offset(big.start + 3), big.start)
    write("cfb", "bad-fat-loop-stream.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.fat_offset(big.start), big.start)
    write("cfb", "bad-fat-self-loop.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.fat_offset(base.dir_first), base.dir_first)
    write("cfb", "bad-fat-loop-directory.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.fat_offset(base.root.start + 1), base.root.start)
    write("cfb", "bad-fat-loop-ministream.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.fat_offset(base.minifat_first), base.minifat_first)
    write("cfb", "bad-fat-loop-minifat-chain.stg", bytes(b))
    # Mini-FAT chains that cycle within the notes' five mini sectors.
    notes = base.entry("notes.txt")
    minifat_at = base.sector_offset(base.minifat_first)
    b = bytearray(good)
    put32(b, minifat_at + (notes.start + 2) * 4, notes.start + 2)
    write("cfb", "bad-minifat-self-loop.stg", bytes(b))
    b = bytearray(good)
    put32(b, minifat_at + (notes.start + 3) * 4, notes.start + 1)
    write("cfb", "bad-minifat-loop.stg", bytes(b))
    # DIFAT: more FAT sectors than the header holds, behind a DIFAT sector
    # that names itself as the next one.
    b = bytearray(good)
    difat_sector = big.start + 2
    put32(b, 44, 109 + 127 * 3)
    put32(b, 68, difat_sector)
    put32(b, 72, 3)
    for i in range(109 - base.nfat):
        put32(b, 76 + (base.nfat + i) * 4, 0)
    so = base.sector_offset(difat_sector)
    for i in range(127):
        put32(b, so + i * 4, 0)
    put32(b, so + 508, difat_sector)
    write("cfb", "bad-difat-loop.stg", bytes(b))
    b = bytearray(b)
    put32(b, 72, 0xFFFFFFF0)
    write("cfb", "bad-difat-count-huge.stg", bytes(b))
    # Directory trees with cycles: a storage that holds its own parent, a
    # sibling that is itself, two storages sharing one child.
    files, product, docs = base.entry("files"), base.entry("product"), base.entry("docs")
    b = bytearray(good)
    put32(b, base.entry_offset(docs.id) + 76, files.id)
    write("cfb", "bad-tree-child-is-ancestor.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.entry_offset(product.id) + 76, product.id)
    write("cfb", "bad-tree-child-is-self.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.entry_offset(readme.id) + 68, readme.id)
    write("cfb", "bad-tree-sibling-is-self.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.entry_offset(docs.id) + 72, product.child)
    write("cfb", "bad-tree-sibling-loop.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.entry_offset(base.entry("Delete_After.ini").id) + 76, product.child)
    b[base.entry_offset(base.entry("Delete_After.ini").id) + 66] = 1
    write("cfb", "bad-tree-shared-child.stg", bytes(b))
    b = bytearray(good)
    put32(b, base.entry_offset(readme.id) + 72, 5000)
    write("cfb", "bad-tree-sibling-out-of-range.stg", bytes(b))
    # Huge size fields.
    for name, entry, size in (("stream-4g", big, 0xFFFFFFFF), ("stream-2e63-v3", big, 1 << 63),
                              ("mini-4000", readme, 4000), ("ministream-huge", base.root, 0x7FFFFFFF)):
        b = bytearray(good)
        put64(b, base.entry_offset(entry.id) + 120, size)
        # A version 3 file's readers ignore the upper half of a size.
        prefix = "size" if name.endswith("-v3") else "bad-size"
        write("cfb", "%s-%s.stg" % (prefix, name), bytes(b))
    for name, offset, value in (("fat-count", 44, 0x7FFFFFFF), ("minifat-count", 64, 0x7FFFFFFF),
                                ("dir-sectors", 40, 0xFFFFFFFF), ("cutoff-zero", 56, 0),
                                ("cutoff-huge", 56, 0xFFFFFFFF), ("dir-first", 48, 0x7FFFFFF0),
                                ("minifat-first", 60, 0x7FFFFFF0)):
        b = bytearray(good)
        put32(b, offset, value)
        write("cfb", "size-%s.stg" % name, bytes(b))
    for shift in (0, 7, 12, 16, 31, 255):
        b = bytearray(good)
        b[30:32] = struct.pack("<H", shift)
        write("cfb", "sector-shift-%d.stg" % shift, bytes(b))
    # Storages nested hundreds and thousands deep below the product folder
    # (5,000: deeper than any walk goes).
    for depth in (300, 700, 5000):
        leaf = stream("deep.txt", b"deep")
        for _ in range(depth):
            leaf = storage("d", leaf)
        write("cfb", "deep-%d.stg" % depth,
              Cfb([storage("files", storage("product", leaf))]).bytes())
    # Names that climb out of the product folder or name absolute places.
    for case, names in (("dotdot", ["..", "..\\..\\evil.txt", "../../evil.txt", "..\\evil.txt"]),
                        ("absolute", ["/etc/x", "C:\\x", "\\\\srv\\x", "C:x"]),
                        ("control", ["a\x01b", "tab\tname", "new\nline", "esc\x1b[2J"]),
                        ("reserved", ["con", "nul.txt", "a:b", "a*b?", "trailing. ", " "])):
        # Names Windows reserves stay inside the product folder: not refused.
        prefix = "names" if case == "reserved" else "bad-names"
        write("cfb", "%s-%s.stg" % (prefix, case), Cfb([storage("files", storage(
            "product", *[stream(n, b"hostile " + n.encode()) for n in names]))]).bytes())
    write("cfb", "bad-names-dotdot-storage.stg", Cfb([storage("files", storage(
        "product", storage("..", storage("..", stream("evil.txt", b"evil")))))]).bytes())
    write("cfb", "names-files-dotdot.stg", Cfb([storage("files", storage(
        "..", stream("evil.txt", b"evil")))]).bytes())
    # Names that are not valid UTF-16, too long or empty.
    for case, raw in (("lone-high-surrogate", "a".encode("utf-16-le") + b"\x00\xd8"),
                      ("lone-low-surrogate", b"\x00\xdc" + "b".encode("utf-16-le")),
                      ("surrogate-then-dotdot", b"\x00\xd8" + "..".encode("utf-16-le")),
                      ("empty", b""), ("nul-inside", "a\0b".encode("utf-16-le")),
                      ("fffe", b"\xfe\xff\xff\xff"), ("long", ("x" * 40).encode("utf-16-le"))):
        e = stream("placeholder", b"bad name")
        e.raw_name = raw
        write("cfb", "%s-utf16-%s.stg" % ("names" if case == "nul-inside" else "bad", case), Cfb([storage("files", storage(
            "product", e, stream("good.txt", b"good")))]).bytes())


# --- Compressed elements ----------------------------------------------------

def compressed_cases():
    text = b"".join(b"line %04d of the element\r\n" % i for i in range(300))
    good = compress(text)
    write("compressed", "ok-base.z", good)
    write("compressed", "ok-plain.z", b"plain element without a header\r\n")
    write("compressed", "ok-empty-content.z", compress(b""))
    for n in truncations(good, 10):
        if n:
            write("compressed", "truncated-%05d.z" % n, good[:n])
    rng = random.Random(7)
    for off in sorted(set(list(range(0, 20)) + rng.sample(range(20, len(good)), 10))):
        b = bytearray(good)
        b[off] ^= 0x40
        write("compressed", "flip-%05d.z" % off, bytes(b))
    key = 0x5A
    head = lambda size, crc: bytes(x ^ key for x in b"SlvZ" + struct.pack("<II", size, crc))
    write("compressed", "bad-size-4g.z", head(0xFFFFFFFF, zlib.crc32(text)) + bytes([key, 0, 0, 0]) +
          zlib.compress(text))
    # Inflated data beyond the stated size is not the element's.
    write("compressed", "ok-surplus-data.z", head(len(text) - 1, zlib.crc32(text[:-1])) +
          bytes([key, 0, 0, 0]) + zlib.compress(text))
    write("compressed", "bad-size-long.z", head(len(text) + 1, zlib.crc32(text)) +
          bytes([key, 0, 0, 0]) + zlib.compress(text))
    write("compressed", "crc-mismatch.z", head(len(text), 0x12345678) + bytes([key, 0, 0, 0]) +
          zlib.compress(text))
    # 16 MiB of zeros in a few kilobytes: legitimate when the header says so,
    # cut to the stated size (and inflated no further) when it states less.
    zeros = zlib.compress(b"\0" * (16 << 20), 9)
    write("compressed", "ok-zeros-16m.z", head(16 << 20, zlib.crc32(b"\0" * (16 << 20))) +
          bytes([key, 0, 0, 0]) + zeros)
    write("compressed", "ok-bomb-size-small.z", head(100, zlib.crc32(b"\0" * 100)) +
          bytes([key, 0, 0, 0]) + zeros)
    write("compressed", "bad-header-only.z", head(10, 0) + bytes([key, 0, 0, 0]))
    write("compressed", "trailing-garbage.z", good + b"garbage after the stream")
    write("compressed", "two-streams.z", good + zlib.compress(text))
    write("compressed", "bad-raw-deflate.z", head(len(text), zlib.crc32(text)) +
          bytes([key, 0, 0, 0]) + zlib.compress(text)[2:-4])
    write("compressed", "bad-gzip.z", head(len(text), zlib.crc32(text)) + bytes([key, 0, 0, 0]) +
          zlib.compressobj(9, zlib.DEFLATED, 31).compress(text) + b"\0" * 8)
    write("compressed", "bad-preset-dictionary.z", head(len(text), zlib.crc32(text)) +
          bytes([key, 0, 0, 0]) + b"\x78\xbb" + b"\0" * 40)


# --- Differences ------------------------------------------------------------

def u32(v):
    return struct.pack("<I", v)


def stored(source_len, data):
    return u32(source_len) + b"\0" + u32(len(data)) + u32(zlib.crc32(data)) + data


def end():
    return u32(0) + b"\0" + u32(0)


def delta(source_len, target, source, literal, commands):
    cmd = b"".join(struct.pack("<HII", *c) for c in commands)
    return (u32(source_len) + b"\1" + u32(zlib.crc32(target)) + u32(zlib.crc32(source)) +
            u32(len(literal)) + u32(len(cmd)) + literal + cmd)


def diff_case(old, difference):
    return struct.pack("<H", len(old)) + old + difference


def diff_cases():
    old = b"0123456789" * 30
    new = old[:100] + b"INSERTED" + old[100:]
    good = diff_case(old, delta(len(old), new, old, b"INSERTED",
                                [(100, 1, 1), (200, 101, 109)]) + end())
    write("diff", "ok-delta.diff", good)
    write("diff", "ok-stored.diff", diff_case(old, stored(len(old), b"replacement") + end()))
    body = len(old) + 2
    for n in truncations(good[body:], 16):
        write("diff", "truncated-%04d.diff" % n, good[:body + n])
    for off in range(body, len(good), 3):
        b = bytearray(good)
        b[off] ^= 0x80
        write("diff", "flip-%04d.diff" % (off - body), bytes(b))
    huge = 0xFFFFFFFF
    cases = {
        "bad-source-len-huge": stored(huge, b"x") + end(),
        "bad-stored-len-huge": u32(len(old)) + b"\0" + u32(huge) + u32(0) + b"x" + end(),
        "bad-literal-len-huge": u32(len(old)) + b"\1" + u32(0) + u32(zlib.crc32(old)) + u32(huge) +
                                u32(0) + end(),
        "bad-command-len-huge": u32(len(old)) + b"\1" + u32(0) + u32(zlib.crc32(old)) + u32(0) +
                                u32(huge) + end(),
        "bad-command-len-odd": delta(len(old), new, old, b"", []) [:-4 - 0] + end(),
        "bad-copy-past-source": delta(len(old), new, old, b"", [(500, 1, 1)]) + end(),
        "bad-copy-position-zero": delta(len(old), old, old, b"", [(10, 0, 0)]) + end(),
        "bad-copy-position-huge": delta(len(old), old, old, b"", [(10, huge, huge)]) + end(),
        # A target position before the output cursor moves it and the literal
        # cursor back: a rewrite of the chunk is valid, literals taken from
        # before the literal data are not.
        "ok-target-rewind": delta(len(old), old, old, b"", [(300, 1, 1), (300, 1, 1)]) + end(),
        "bad-literal-before-start": delta(len(old), old[:10], old, b"",
                                          [(10, 1, 1), (0, 1, 1), (0, 1, 2)]) + end(),
        "bad-source-crc": delta(len(old), new, b"other", b"INSERTED",
                                [(100, 1, 1), (200, 101, 109)]) + end(),
        "bad-target-crc": delta(len(old), b"other", old, b"INSERTED",
                                [(100, 1, 1), (200, 101, 109)]) + end(),
        "bad-stored-crc": u32(len(old)) + b"\0" + u32(3) + u32(0) + b"abc" + end(),
        "bad-kind": u32(len(old)) + b"\7" + u32(0) + end(),
        "bad-no-end": stored(len(old), b"abc"),
        "bad-empty": b"",
        "bad-source-past-old": stored(len(old) + 1, b"abc") + end(),
        "bad-chunk-too-big": stored(0x200001, b"x") + end(),
        "many-empty-blocks": stored(0, b"") * 0 + (u32(0) + b"\1" + u32(0) + u32(0) + u32(0) +
                                                       u32(0)) * 4000 + end(),
        "surplus-after-end": stored(len(old), b"abc") + end() + b"surplus",
    }
    for name, difference in cases.items():
        write("diff", name + ".diff", diff_case(old, difference))


# --- Registry scripts -------------------------------------------------------

def utf16_script(text):
    return b"\xff\xfe" + text.encode("utf-16-le", "surrogatepass")


def reg_cases():
    v4 = (b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile]\r\n\"name\"=\"value\"\r\n"
          b"\"count\"=dword:0000002a\r\n\"bin\"=hex:01,02,ff\r\n\"multi\"=hex(7):61,00,00,00\r\n")
    v5_text = ("Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile]\r\n"
               "\"name\"=\"\u0437\u043d\u0430\u0447\u0435\u043d\u0438\u0435\"\r\n"
               "\"count\"=dword:0000002a\r\n\"bin\"=hex:01,02,ff\r\n")
    v5 = utf16_script(v5_text)
    write("reg", "ok-regedit4.reg", v4)
    write("reg", "ok-unicode.reg", v5)
    for n in truncations(v4, 6):
        write("reg", "truncated4-%03d.reg" % n, v4[:n])
    for n in truncations(v5, 6):
        write("reg", "truncated5-%03d.reg" % n, v5[:n])
    rng = random.Random(5)
    for off in sorted(rng.sample(range(len(v4)), 6)):
        b = bytearray(v4)
        b[off] = 0
        write("reg", "flip4-%03d.reg" % off, bytes(b))
    for off in sorted(rng.sample(range(len(v5)), 6)):
        b = bytearray(v5)
        b[off] ^= 0xD8
        write("reg", "flip5-%03d.reg" % off, bytes(b))
    # Thousands deep below a key the test does not export: an export repeats
    # every key's whole path, so its size grows with the square of the depth.
    deep = "\\".join(["k"] * 3000)
    write("reg", "deep-keys-3000.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\HostileDeep\\" +
          deep.encode() + b"]\r\n\"v\"=\"deep\"\r\n")
    write("reg", "deep-keys-delete.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile\\" +
          "\\".join(["k"] * 500).encode() + b"]\r\n\"v\"=\"deep\"\r\n\r\n"
          b"[-HKEY_CURRENT_USER\\Software\\Hostile]\r\n")
    write("reg", "deep-keys-unicode.reg", utf16_script(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile\\" +
        "\\".join(["\u043a"] * 700) + "]\r\n\"v\"=\"deep\"\r\n"))
    write("reg", "key-long-name.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\" +
          b"n" * 40000 + b"]\r\n\"v\"=\"x\"\r\n")
    write("reg", "key-dotdot.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\..\\..\\Hostile]\r\n"
          b"\"v\"=\"x\"\r\n[HKEY_CURRENT_USER\\..]\r\n\"w\"=\"y\"\r\n")
    write("reg", "key-empty-parts.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\\\\\\\Hostile\\\\]\r\n"
          b"\"v\"=\"x\"\r\n[]\r\n[\\]\r\n[-]\r\n")
    write("reg", "key-control-chars.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hos\x01tile\x1b]\r\n"
          b"\"v\x07\"=\"x\x00y\"\r\n")
    write("reg", "roots-unknown.reg", b"REGEDIT4\r\n\r\n[HKEY_NOWHERE\\Software]\r\n\"v\"=\"x\"\r\n"
          b"[/etc/x]\r\n\"v\"=\"x\"\r\n[C:\\x]\r\n\"v\"=\"x\"\r\n[\\\\srv\\x]\r\n\"v\"=\"x\"\r\n")
    write("reg", "values-huge.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile]\r\n"
          b"\"d\"=dword:fffffffffffffffff\r\n\"h\"=hex(ffffffffff):01\r\n\"x\"=hex:" +
          b",".join([b"zz"] * 10) + b"\r\n\"c\"=hex:01,\\\r\n" + b"  \\\r\n" * 2000 +
          b"  02\r\n\"n\"=\"" + b"v" * 70000 + b"\"\r\n")
    write("reg", "values-unterminated.reg", b"REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile\r\n"
          b"\"a=\"b\r\n\"c\"=\"d\\\r\n\"e\"=hex:01,\\")
    write("reg", "utf16-odd.reg", v5 + b"\x00")
    write("reg", "utf16-lone-surrogates.reg", utf16_script(
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Hostile\\\ud800x]\r\n"
        "\"\udc00\"=\"\ud800\"\r\n"))
    write("reg", "bad-utf16-big-endian.reg", b"\xfe\xff" + v5_text.encode("utf-16-be"))
    write("reg", "bad-no-header.reg", b"[HKEY_CURRENT_USER\\Software\\Hostile]\r\n\"v\"=\"x\"\r\n")
    write("reg", "bad-binary.reg", bytes(random.Random(9).randrange(256) for _ in range(2048)))


# --- Ini files --------------------------------------------------------------

def ini_cases():
    cases = {
        "Delete_Before.ini@ok-plain": b"[Files]\r\n1=old.txt\r\n",
        "Delete_Before.ini@bad-dotdot": b"[Files]\r\n1=..\\..\\outside\\victim.txt\r\n2=../../outside/victim.txt\r\n"
                                      b"3=..\\..\\outside\r\n4=docs\\..\\..\\..\\outside\\*.*\r\n5=..\r\n6=.\r\n",
        "Delete_Before.ini@bad-absolute": b"[Files]\r\n1=/etc/x\r\n2=C:\\x\r\n3=\\\\srv\\x\r\n4=\\x\r\n5=/\r\n"
                                        b"6=${PRODUCT_ROOT}\\..\\outside\\victim.txt\r\n7=${SLV21_ROOT}\\..\\outside\r\n",
        "Delete_After.ini@control": b"[Files]\r\n1=a\x01b\r\n2=\x1b[2J\r\n3=x\x00y\r\n4=" + b"\xff\xfe" * 10 + b"\r\n",
        "Delete_After.ini@masks": b"[Files]\r\n1=*\r\n2=*.*\r\n3=..\\*\r\n4=?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*?*x\r\n",
        "Delete_After.ini@many-sections": b"".join(b"[s%d]\r\n" % i for i in range(20000)),
        "Delete_After.ini@long-line": b"[Files]\r\n1=" + b"a" * 100000 + b"\r\n",
        "Delete_After.ini@deep-path": b"[Files]\r\n1=" + b"d\\" * 5000 + b"x\r\n",
        "Delete_After.ini@no-newline": b"[Files",
        "Delete_After.ini@binary": bytes(random.Random(3).randrange(256) for _ in range(4096)),
        "Delete_After.ini@bad-compressed": compress(b"[Files]\r\n1=old.txt\r\n")[:30],
        "Delete_After.ini@bad-compressed-bomb": compress(b"[Files]\r\n" + b"\0" * (8 << 20)),
        "UnpackStorage.ini@bad-dotdot": b"[a]\r\nStorage=..\\..\\outside\\victim.stg\r\nDestination=x\r\n"
                                       b"[b]\r\nStorage=pack.stg\r\nDestination=..\\..\\outside\r\n"
                                       b"[c]\r\nStorage=pack.stg\r\nDestination=/etc\r\n"
                                       b"[d]\r\nStorage=/etc/x\r\nDestination=x\r\n"
                                       b"[e]\r\nStorage=C:\\x\r\nDestination=\\\\srv\\x\r\n",
        "UnpackStorage.ini@bad-empty-values": b"[a]\r\nStorage=\r\nDestination=\r\n[]\r\n=\r\n[b]\r\nStorage\r\n",
        # The installed pack.stg is a compound file whose FAT chain cycles.
        "UnpackStorage.ini@bad-nested-loop": b"[a]\r\nStorage=pack.stg\r\nDestination=media\r\n",
        "UnpackStorage.ini@bad-self": b"[a]\r\nStorage=.\r\nDestination=.\r\n[b]\r\nStorage=keep.txt\r\nDestination=.\r\n",
        "StrReplace_Before.ini@bad-dotdot": b"[a]\r\nSearchFor=outside\r\nReplaceWith=x\r\nFiles=..\\..\\outside\\*.txt\r\n"
                                           b"[b]\r\nSearchFor=o\r\nReplaceWith=x\r\nFiles=/etc/x\r\n"
                                           b"[c]\r\nSearchFor=o\r\nReplaceWith=x\r\nFiles=${PRODUCT_ROOT}\\..\\..\\outside\\victim.txt\r\n",
        "StrReplace_Before.ini@regexp": b"[a]\r\nSearchFor=(a*)*b\r\nReplaceWith=x\r\nIsRegExp=1\r\nFiles=keep.txt\r\n"
                                           b"[b]\r\nSearchFor=(((((((((((((((\r\nReplaceWith=x\r\nIsRegExp=1\r\nFiles=keep.txt\r\n"
                                           b"[c]\r\nSearchFor=\r\nReplaceWith=x\r\nFiles=keep.txt\r\n"
                                           b"[d]\r\nSearchFor=e\r\nReplaceWith=" + b"$0" * 5000 + b"\r\nIsRegExp=1\r\nFiles=keep.txt\r\n",
        "StrReplace_After.ini@macros": b"[a]\r\nSearchFor=${${${${PRODUCT_ROOT}}}}\r\nReplaceWith=${\r\nFiles=${PRODUCT_ROOT\r\n",
    }
    for name, text in cases.items():
        write("ini", name + ".ini", text)


# --- PE files ---------------------------------------------------------------

def pe_cases():
    with open(os.path.join(ROOT, "tests", "data", "pe", "ver_1_9_0_0.exe"), "rb") as f:
        good = f.read()
    write("pe", "ok-base.exe", good)
    for n in truncations(good, 12):
        write("pe", "truncated-%05d.exe" % n, good[:n])
    lfanew = struct.unpack_from("<I", good, 0x3C)[0]
    nsec = struct.unpack_from("<H", good, lfanew + 6)[0]
    optsize = struct.unpack_from("<H", good, lfanew + 20)[0]
    opt = lfanew + 24
    magic = struct.unpack_from("<H", good, opt)[0]
    dirs = opt + (112 if magic == 0x20B else 96)
    res_rva, res_size = struct.unpack_from("<II", good, dirs + 2 * 8)
    sections = lfanew + 24 + optsize
    res_off = None
    for i in range(nsec):
        vsize, va, raw_size, raw_ptr = struct.unpack_from("<IIII", good, sections + i * 40 + 8)
        if va <= res_rva < va + max(vsize, raw_size):
            res_off = raw_ptr + res_rva - va
    assert res_off is not None

    def patched(name, *writes):
        b = bytearray(good)
        for offset, fmt, value in writes:
            struct.pack_into(fmt, b, offset, value)
        write("pe", name + ".exe", bytes(b))

    patched("bad-lfanew-huge", (0x3C, "<I", 0xFFFFFFF0))
    patched("bad-lfanew-negative", (0x3C, "<I", 0x80000000))
    patched("bad-sections-many", (lfanew + 6, "<H", 0xFFFF))
    patched("bad-optional-size-huge", (lfanew + 20, "<H", 0xFFFF))
    patched("bad-resource-rva-huge", (dirs + 16, "<I", 0xFFFFFF00))
    patched("resource-size-huge", (dirs + 20, "<I", 0xFFFFFFFF))
    patched("bad-resource-named-count", (res_off + 12, "<H", 0xFFFF))
    patched("bad-resource-id-count", (res_off + 14, "<H", 0xFFFF))
    # The first entry of the root directory points back at the root.
    patched("bad-resource-self-loop", (res_off + 16 + 4, "<I", 0x80000000))
    patched("bad-resource-deep-offset", (res_off + 16 + 4, "<I", 0xFFFFFFFF))
    for i in range(nsec):
        patched("section%d-raw-huge" % i, (sections + i * 40 + 20, "<I", 0xFFFFFF00))
        patched("section%d-size-huge" % i, (sections + i * 40 + 16, "<I", 0xFFFFFFFF))
    # Every byte of the resource directory's first 64 bytes, then version
    # block lengths wherever "VS_VERSION_INFO" is.
    for off in range(res_off, min(res_off + 64, len(good)), 4):
        patched("flip-res-%04x" % off, (off, "<B", good[off] ^ 0xFF))
    vs = good.find("VS_VERSION_INFO".encode("utf-16-le"))
    if vs > 0:
        block = vs - 6
        patched("bad-version-length-huge", (block, "<H", 0xFFFF))
        patched("bad-version-length-zero", (block, "<H", 0))
        patched("bad-version-value-huge", (block + 2, "<H", 0xFFFF))
        patched("version-signature", (block + 6 + 32 + 2, "<I", 0))
    rng = random.Random(11)
    for off in sorted(rng.sample(range(len(good)), 8)):
        patched("flip-%05x" % off, (off, "<B", good[off] ^ 0x55))
    write("pe", "bad-mz-only.exe", b"MZ" + b"\0" * 58 + struct.pack("<I", 64) + b"PE\0\0")
    write("pe", "bad-text.exe", b"This is not an executable at all.\r\n")


# A few cases that reach deep into their parser, as seeds of the fuzz
# targets (whose input formats they share).
FUZZ_SEEDS = {
    "cfb": ["cfb/bad-difat-loop.stg", "cfb/bad-minifat-loop.stg", "cfb/bad-tree-child-is-ancestor.stg",
            "cfb/deep-5000.stg"],
    "decompress": ["compressed/ok-surplus-data.z", "compressed/two-streams.z"],
    "diff": ["diff/bad-copy-past-source.diff", "diff/bad-literal-before-start.diff",
             "diff/ok-target-rewind.diff"],
    "pe": ["pe/bad-resource-self-loop.exe", "pe/bad-version-length-huge.exe"],
    "regscript": ["reg/utf16-lone-surrogates.reg", "reg/values-unterminated.reg"],
}


# Regular expressions whose matching recurses once per character or takes
# exponential time, as seeds of the text_replace target (pattern, NUL,
# template, NUL, subject): the matcher must stop at its limits.
def text_replace_seeds():
    section = b"".join(b"Value%d=some old setting\r\n" % i for i in range(800))
    seeds = {
        "repeated-group": b"(a|b)*c\0x\0" + b"ab" * 8000 + b"c",
        "exponential": b"^(a+)+$\0x\0" + b"a" * 40 + b"!",
        "section-removal": b"\\[Old\\]((?!\r\n\\[).)*\r\n\0\0[Keep]\r\nA=1\r\n[Old]\r\n" + section
                           + b"[Next]\r\nB=2\r\n",
    }
    folder = os.path.join(ROOT, "fuzz", "corpus", "text_replace")
    for old in os.listdir(folder):
        if old.startswith("hostile-"):
            os.remove(os.path.join(folder, old))
    for name, data in seeds.items():
        with open(os.path.join(folder, "hostile-" + name), "wb") as f:
            f.write(data)


def main():
    if os.path.isdir(OUT):
        shutil.rmtree(OUT)
    cfb_cases()
    compressed_cases()
    diff_cases()
    reg_cases()
    ini_cases()
    pe_cases()
    text_replace_seeds()
    for target, cases in FUZZ_SEEDS.items():
        folder = os.path.join(ROOT, "fuzz", "corpus", target)
        for old in os.listdir(folder):
            if old.startswith("hostile-"):
                os.remove(os.path.join(folder, old))
        for case in cases:
            shutil.copyfile(os.path.join(OUT, case), os.path.join(
                ROOT, "fuzz", "corpus", target, "hostile-" + os.path.basename(case)))
    for folder in sorted(os.listdir(OUT)):
        files = os.listdir(os.path.join(OUT, folder))
        size = sum(os.path.getsize(os.path.join(OUT, folder, f)) for f in files)
        print("%-10s %4d files %8d bytes" % (folder, len(files), size))
    return 0


if __name__ == "__main__":
    sys.exit(main())
