#!/usr/bin/env python3
"""Cross-checks archives with Python's zipfile, independently of our code.

Commands (exit status 0 on success, 1 on a failed check):
  list ARCHIVE             one line per entry: name, size, CRC test, date
  test ARCHIVE             every entry read back and checked (testzip)
  make ARCHIVE NAME=FILE.. an archive of deflated entries with each file's bytes
  store ARCHIVE NAME=FILE.. the same with stored (uncompressed) entries
  bzip2 ARCHIVE NAME=FILE.. the same compressed with bzip2 (method 12)
  lzma ARCHIVE NAME=FILE..  the same compressed with LZMA (method 14)
  many ARCHIVE COUNT       COUNT deflated entries NNNNN/entry.txt, each
                           holding its own name ten times
  dump ARCHIVE NAME        the entry's bytes as hexadecimal
  origin ARCHIVE           one line per entry: name, system made on, Unix mode (octal)
"""
import sys
import zipfile


def main(argv):
    command, archive = argv[1], argv[2]
    if command == "list":
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                data = z.read(info.filename)
                ok = "ok" if len(data) == info.file_size else "short"
                date = "%04d-%02d-%02d %02d:%02d:%02d" % info.date_time
                print("%s|%d|%s|%s|%d" % (info.filename, info.file_size, ok, date,
                                         info.compress_type))
        return 0
    if command == "test":
        try:
            with zipfile.ZipFile(archive) as z:
                bad = z.testzip()
        except (zipfile.BadZipFile, OSError, EOFError) as error:
            print("bad archive: %s" % error)
            return 1
        if bad is not None:
            print("bad entry: %s" % bad)
            return 1
        print("ok")
        return 0
    methods = {"make": zipfile.ZIP_DEFLATED, "store": zipfile.ZIP_STORED,
               "bzip2": zipfile.ZIP_BZIP2, "lzma": zipfile.ZIP_LZMA}
    if command in methods:
        method = methods[command]
        with zipfile.ZipFile(archive, "w", method) as z:
            for pair in argv[3:]:
                name, path = pair.split("=", 1)
                with open(path, "rb") as f:
                    z.writestr(name, f.read())
        return 0
    if command == "many":
        with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
            for i in range(int(argv[3])):
                name = "%05d/entry.txt" % i
                z.writestr(name, name * 10)
        return 0
    if command == "origin":
        with zipfile.ZipFile(archive) as z:
            for info in z.infolist():
                print("%s|%d|%o" % (info.filename, info.create_system, info.external_attr >> 16))
        return 0
    if command == "dump":
        with zipfile.ZipFile(archive) as z:
            print(z.read(argv[3]).hex())
        return 0
    print("unknown command " + command)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
