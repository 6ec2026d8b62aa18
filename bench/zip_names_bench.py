#!/usr/bin/env python3
"""Python's zipfile side of zip_names_bench.

Commands:
  make ARCHIVE COUNT   COUNT deflated entries of map-like text, named
                       tiles/NN/entry_NNNNN.xml, and prints nothing
  read ARCHIVE NAMES   opens the archive and reads every entry named in
                       the file NAMES (one name a line) in that order;
                       prints the seconds taken (open included), then the
                       number of bytes and the running CRC-32 of all of
                       them, as "seconds bytes crc"
"""
import sys
import time
import zipfile
import zlib


def main(argv):
    command, archive = argv[1], argv[2]
    if command == "make":
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(int(argv[3])):
                line = '<feature id="%d" name="road %d" x="%d.%02d"/>\n' % (i, i % 97, i * 7 % 5000, i % 100)
                z.writestr("tiles/%02d/entry_%05d.xml" % (i % 64, i), line * (1 + i % 40))
        return 0
    if command == "read":
        with open(argv[3]) as f:
            names = f.read().split("\n")[:-1]
        start = time.perf_counter()
        total = 0
        crc = 0
        with zipfile.ZipFile(archive) as z:
            for name in names:
                data = z.read(name)
                total += len(data)
                crc = zlib.crc32(data, crc)
        print("%.9f %d %d" % (time.perf_counter() - start, total, crc))
        return 0
    print("unknown command " + command)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
