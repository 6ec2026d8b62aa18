#!/usr/bin/env python3
"""Writes archives whose directory lies about where entries are, byte by byte.

No honest writer makes these; each is what a crafted archive does to make a
small file hand out far more than it holds. Every archive starts with one
honest entry "own.txt" that shares no byte with the others.

Commands (exit status 0 on success):
  shared ARCHIVE COUNT SIZE    one local entry "kernel.bin" of SIZE deflated
                               zeros; COUNT directory entries "entry-NNNN"
                               all point at it (names of one length, as
                               minizip insists on)
  same ARCHIVE COUNT SIZE      the same, every directory entry named
                               "kernel.bin"
  quoted ARCHIVE COUNT SIZE    COUNT entries "q-NNNN" whose deflated data
                               quote the next entry's local header and then
                               hold its data, down to SIZE deflated zeros
  renamed ARCHIVE              a second entry "b.txt" whose local header
                               names "x.txt", and a third "c.txt" whose
                               local header names "longer.txt"
  runaway ARCHIVE              a second entry "runaway.bin" whose sizes say
                               its deflated data go on 1 GiB past the
                               archive's end
  prefixed ARCHIVE SOURCE      SOURCE behind a stub of non-zip bytes, its
                               offsets left as they were (relative to the
                               archive proper, as `cat stub a.zip` leaves them)
  all FOLDER                   each of the above as FOLDER/COMMAND.zip
                               (shared 12 300000, same 4 300000, quoted 6
                               300000), and each behind a stub as
                               FOLDER/stub-COMMAND.zip: one run, as Python
                               is slow to start
"""
import os
import struct
import sys
import zlib

LOCAL = 0x04034B50
CENTRAL = 0x02014B50
END = 0x06054B50
DOS_TIME, DOS_DATE = 0, (2020 - 1980) << 9 | 1 << 5 | 1


def local_header(name, method, crc, csize, usize):
    name = name.encode()
    return struct.pack("<IHHHHHIIIHH", LOCAL, 20, 0, method, DOS_TIME, DOS_DATE,
                       crc, csize, usize, len(name), 0) + name


def central_header(name, method, crc, csize, usize, offset):
    name = name.encode()
    return struct.pack("<IHHHHHHIIIHHHHHII", CENTRAL, 20, 20, 0, method, DOS_TIME,
                       DOS_DATE, crc, csize, usize, len(name), 0, 0, 0, 0, 0,
                       offset) + name


class archive:
    """Local entries appended as they come; directory entries listed apart."""

    def __init__(self):
        self.body = bytearray()
        self.directory = []

    def add(self, name, data, method=8):
        """An honest entry: its own local header and data."""
        packed = raw_deflate(data) if method == 8 else data
        offset = len(self.body)
        self.body += local_header(name, method, zlib.crc32(data), len(packed), len(data))
        self.body += packed
        self.list(name, method, zlib.crc32(data), len(packed), len(data), offset)
        return offset

    def list(self, name, method, crc, csize, usize, offset):
        self.directory.append(central_header(name, method, crc, csize, usize, offset))

    def write(self, path):
        start = len(self.body)
        central = b"".join(self.directory)
        end = struct.pack("<IHHHHIIH", END, 0, 0, len(self.directory), len(self.directory),
                          len(central), start, 0)
        with open(path, "wb") as f:
            f.write(bytes(self.body) + central + end)


def raw_deflate(data):
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def honest():
    a = archive()
    a.add("own.txt", b"an entry of its own\n" * 20)
    return a


def shared(path, count, size, same_name):
    a = honest()
    zeros = bytes(size)
    packed = raw_deflate(zeros)
    crc = zlib.crc32(zeros)
    offset = len(a.body)
    a.body += local_header("kernel.bin", 8, crc, len(packed), size) + packed
    for i in range(count):
        a.list("kernel.bin" if same_name else "entry-%04d" % i, 8, crc, len(packed), size, offset)
    a.write(path)


def quoted(path, count, size):
    # Built from the last entry back: each entry's data are a stored
    # (not final) deflate block holding the next entry's local header,
    # followed by that entry's data, so every stream ends in the kernel's
    # final block.
    names = ["q-%04d" % i for i in range(count)]
    data = raw_deflate(bytes(size))
    plain = bytes(size)
    headers = [None] * count
    entries = [None] * count
    for i in reversed(range(count)):
        crc = zlib.crc32(plain)
        headers[i] = local_header(names[i], 8, crc, len(data), len(plain))
        entries[i] = (crc, len(data), len(plain))
        if i > 0:
            quote = struct.pack("<BHH", 0, len(headers[i]), 0xFFFF ^ len(headers[i]))
            data = quote + headers[i] + data
            plain = headers[i] + plain
    a = honest()
    offset = len(a.body)
    a.body += headers[0] + data
    for i in range(count):
        crc, csize, usize = entries[i]
        a.list(names[i], 8, crc, csize, usize, offset)
        if i + 1 < count:
            offset += len(headers[i]) + 5
    a.write(path)


def renamed(path):
    a = honest()
    for name, local in (("b.txt", "x.txt"), ("c.txt", "longer.txt")):
        data = ("the entry listed as %s\n" % name).encode()
        offset = a.add(name, data)
        header = local_header(local, 8, zlib.crc32(data), len(raw_deflate(data)), len(data))
        old = 30 + len(name)
        a.body[offset:offset + old] = header
        # A longer name moves every later byte: the directory entry still
        # says where the header starts, which is all this case needs.
    a.write(path)


def runaway(path):
    a = honest()
    data = b"the data stop where the directory starts\n" * 10
    packed = raw_deflate(data)
    claimed = len(packed) + (1 << 30)
    offset = len(a.body)
    a.body += local_header("runaway.bin", 8, zlib.crc32(data), claimed, len(data)) + packed
    a.list("runaway.bin", 8, zlib.crc32(data), claimed, len(data), offset)
    a.write(path)


def prefixed(path, source):
    with open(source, "rb") as f:
        zipped = f.read()
    stub = b"#!/bin/sh\necho this is not the archive\nexit 0\n" + bytes(range(256)) * 3
    with open(path, "wb") as f:
        f.write(stub + zipped)


def everything(folder):
    made = {
        "shared": lambda path: shared(path, 12, 300000, False),
        "same": lambda path: shared(path, 4, 300000, True),
        "quoted": lambda path: quoted(path, 6, 300000),
        "renamed": renamed,
        "runaway": runaway,
    }
    for name, make in made.items():
        path = os.path.join(folder, name + ".zip")
        make(path)
        prefixed(os.path.join(folder, "stub-" + name + ".zip"), path)


def main(argv):
    command, path = argv[1], argv[2]
    if command == "all":
        everything(path)
    elif command in ("shared", "same"):
        shared(path, int(argv[3]), int(argv[4]), command == "same")
    elif command == "quoted":
        quoted(path, int(argv[3]), int(argv[4]))
    elif command == "renamed":
        renamed(path)
    elif command == "runaway":
        runaway(path)
    elif command == "prefixed":
        prefixed(path, argv[3])
    else:
        print("unknown command " + command)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
