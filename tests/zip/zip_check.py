#!/usr/bin/env python3
"""Cross-checks archives with Python's zipfile, independently of our code.

Commands (exit status 0 on success, 1 on a failed check):
  list ARCHIVE             one line per entry: name, size, CRC test, date
  test ARCHIVE             every entry read back and checked (testzip)
  make ARCHIVE NAME=FILE.. an archive of deflated entries with each file's bytes
  store ARCHIVE NAME=FILE.. the same with stored (uncompressed) entries
  bzip2 ARCHIVE NAME=FILE.. the same compressed with bzip2 (method 12)
  lzma ARCHIVE NAME=FILE..  the same compressed with LZMA (method 14)
  write ARCHIVE HOW NAME=FILE..  the same as zipfile writes it HOW, a
                           comma list of: stored (else deflated), streamed
                           (to a stream that cannot seek, so every entry
                           has a data descriptor), zip64 (force_zip64);
                           a NAME ending in "/" is a folder (no FILE)
  many ARCHIVE COUNT [stored]  COUNT deflated (or stored) entries
                           NNNNN/entry.txt, each holding its own name ten
                           times
  dump ARCHIVE NAME        the entry's bytes as hexadecimal
  origin ARCHIVE           one line per entry: name, system made on, Unix mode (octal)

Several commands may be given in one run, separated by a lone ";" (Python
is slow to start): they run in order up to the first that fails.
"""
import io
import sys
import zipfile


class unseekable(io.RawIOBase):
    """A file zipfile cannot seek in or tell on, as a pipe is."""

    def __init__(self, f):
        self.f = f

    def writable(self):
        return True

    def write(self, b):
        return self.f.write(b)


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
    if command == "write":
        how = argv[3].split(",")
        method = zipfile.ZIP_STORED if "stored" in how else zipfile.ZIP_DEFLATED
        with open(archive, "wb") as out:
            target = unseekable(out) if "streamed" in how else out
            with zipfile.ZipFile(target, "w", method) as z:
                for pair in argv[4:]:
                    name, path = pair.split("=", 1)
                    if name.endswith("/"):
                        z.writestr(name, b"")
                        continue
                    with open(path, "rb") as f, z.open(name, "w", force_zip64="zip64" in how) as entry:
                        entry.write(f.read())
        return 0
    if command == "many":
        made = io.BytesIO()
        method = zipfile.ZIP_STORED if argv[4:] == ["stored"] else zipfile.ZIP_DEFLATED
        with zipfile.ZipFile(made, "w", method) as z:
            for i in range(int(argv[3])):
                name = "%05d/entry.txt" % i
                z.writestr(name, name * 10)
        with open(archive, "wb") as f:
            f.write(made.getvalue())
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


def run_all(argv):
    command = []
    for word in argv[1:] + [";"]:
        if word != ";":
            command.append(word)
            continue
        status = main([argv[0]] + command) if command else 0
        if status != 0:
            return status
        command = []
    return 0


if __name__ == "__main__":
    sys.exit(run_all(sys.argv))
