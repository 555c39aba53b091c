#!/usr/bin/env python3
"""Writes the sample product's binary data files into OUTDIR:

  TYDefs.dat    the virus definitions: a header, a byte translation table
                (every byte value once) and fixed-size signature records
  TYDefs2.dat   the compressed part of the definitions: incompressible bytes
  TYDisks.dat   the start of an emergency disk image: a FAT12 boot sector
                for a 1.44 MB floppy, the first FAT sector and a root folder

Every byte comes from the code below and a fixed seed, so two runs give the
same files. Together with the CRLF text files these make sure an installer
that wrote files in text mode, or stopped at a 0x1A or NUL byte, is caught.

Usage: make_data_files.py OUTDIR
"""

import os
import struct
import sys


class XorShift32:
    """Small deterministic generator; the standard library's generator is
    avoided so the bytes cannot change with the Python version."""

    def __init__(self, seed):
        self.state = seed & 0xFFFFFFFF or 1

    def next(self):
        x = self.state
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        self.state = x
        return x

    def byte(self):
        return self.next() >> 24

    def bytes(self, n):
        return bytes(self.byte() for _ in range(n))


FAMILIES = ["Stoned", "Michelangelo", "Cascade", "Jerusalem", "Tequila",
            "Form", "Ping", "Yankee", "Vienna", "Dark", "Brain", "Monkey",
            "Junkie", "Natas", "OneHalf", "Parity"]
KINDS = ["Boot", "COM", "EXE", "Multi"]


def defs_file():
    rng = XorShift32(0x20030723)
    table = list(range(256))
    for i in range(255, 0, -1):        # Fisher-Yates: a permutation of 0..255
        j = rng.next() % (i + 1)
        table[i], table[j] = table[j], table[i]
    records = []
    for n in range(96):
        family = FAMILIES[n % len(FAMILIES)]
        kind = KINDS[(n * 7 + n // len(FAMILIES)) % len(KINDS)]
        variant = chr(ord("A") + n // len(FAMILIES))
        name = ("DOS.%s.%s.%s" % (kind, family, variant)).encode("ascii")
        pattern = rng.bytes(16)
        checksum = sum(name + pattern) & 0xFFFFFFFF
        records.append(struct.pack("<24sBB16sI", name, KINDS.index(kind),
                                   len(pattern), pattern, checksum))
    header_size = 32
    header = struct.pack("<4sHHIIII8s", b"TYDF", 3, 0x0209, len(records),
                         20030723, header_size + len(table), 0, b"")
    assert len(header) == header_size
    return header + bytes(table) + b"".join(records)


def defs2_file():
    rng = XorShift32(0x2D3F5A01)
    payload = rng.bytes(6000)
    return struct.pack("<4sII", b"TYD2", 1, len(payload)) + payload


def disk_file():
    # BIOS parameter block of a 1.44 MB floppy: 512-byte sectors, one sector
    # per cluster, one reserved sector, two FATs of nine sectors, 224 root
    # entries, 2880 sectors, media F0, 18 sectors per track, two heads.
    boot = bytearray(512)
    boot[0:3] = b"\xEB\x3C\x90"
    boot[3:62] = struct.pack("<8sHBHBHHBHHHIIBBBI11s8s", b"TESSALY ", 512, 1,
                             1, 2, 224, 2880, 0xF0, 9, 18, 2, 0, 0, 0, 0,
                             0x29, 0x20030723, b"TY RESCUE  ", b"FAT12   ")
    message = (b"\r\nQuenfold emergency disk 2.9\r\n"
               b"Insert disk 2 and press any key.\r\n\0")
    # Boot code: point SI at the message, print it with INT 10h, wait for a
    # key with INT 16h, then restart through INT 19h.
    code_size = 32
    code = bytes([0xFA, 0x31, 0xC0, 0x8E, 0xD8, 0x8E, 0xD0, 0xBC, 0x00, 0x7C,
                  0xFB, 0xBE]) + struct.pack("<H", 0x7C00 + 62 + code_size) + bytes([
                  0xAC, 0x08, 0xC0, 0x74, 0x06, 0xB4, 0x0E, 0xCD, 0x10, 0xEB,
                  0xF5, 0x31, 0xC0, 0xCD, 0x16, 0xCD, 0x19])
    assert len(code) <= code_size
    code = code.ljust(code_size, b"\x90")
    boot[62:62 + len(code) + len(message)] = code + message
    boot[510:512] = b"\x55\xAA"
    fat = bytearray(512)
    fat[0:3] = b"\xF0\xFF\xFF"
    # Two files, clusters 2-5 and 6-7, each chain ending in FFF.
    chain = {2: 3, 3: 4, 4: 5, 5: 0xFFF, 6: 7, 7: 0xFFF}
    for cluster, value in chain.items():
        offset = cluster * 3 // 2
        if cluster % 2 == 0:
            fat[offset] = value & 0xFF
            fat[offset + 1] = (fat[offset + 1] & 0xF0) | (value >> 8)
        else:
            fat[offset] = (fat[offset] & 0x0F) | ((value & 0x0F) << 4)
            fat[offset + 1] = value >> 4
    root = bytearray(1024)
    date = ((2003 - 1980) << 9) | (7 << 5) | 23
    time = (12 << 11)
    entries = [(b"TY RESCUE  ", 0x08, 0, 0),
               (b"QUENBOOTCOM", 0x21, 2, 1843),
               (b"TYDEFS  DAT", 0x20, 6, 1010)]
    for i, (name, attributes, cluster, size) in enumerate(entries):
        root[i * 32:(i + 1) * 32] = struct.pack(
            "<11sB10sHHHI", name, attributes, b"", time, date, cluster, size)
    return bytes(boot) + bytes(fat) + bytes(root)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_data_files.py OUTDIR\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, content in (("TYDefs.dat", defs_file()),
                          ("TYDefs2.dat", defs2_file()),
                          ("TYDisks.dat", disk_file())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(content)
    return 0


if __name__ == "__main__":
    sys.exit(main())
