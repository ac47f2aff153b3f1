#!/usr/bin/env python3
"""Reads and writes zip archives for the archive-merge tests with Python's own
zipfile, so that the merge's output is judged by code that nobody here wrote.

  zip_tool.py test ARCHIVE
      fails unless testzip() finds every entry sound.
  zip_tool.py dump ARCHIVE
      one tab-separated line per entry in central-directory order: name,
      method, flag bits, DOS date and time, CRC-32, compressed size, size,
      the IDs of the central extra fields ("-" for none), comment length,
      external and internal attributes,
      SHA-1 of the stored bytes, hex of the content (up to 64 bytes) or SHA-1
      of it beyond that; last, the archive comment's length.
  zip_tool.py python-variety ARCHIVE
      entries with stored and deflated data, an upper-case name, a directory,
      an extra field, entry comments, an archive comment and a UTF-8 name.
  zip_tool.py streamed
      writes to stdout, which must be a pipe: entries with data descriptors.
  zip_tool.py method bzip2|lzma ARCHIVE
      one deflated entry, then one with the named method.
  zip_tool.py option-bits ARCHIVE
      deflated entries fast.bin, max.bin and superfast.bin whose flags carry
      the compression-option bits 4, 2 and 6, set in both headers.
  zip_tool.py empty ARCHIVE
      an archive without entries.
  zip_tool.py long-name ARCHIVE
      an entry whose name has 300 characters.
  zip_tool.py many ARCHIVE COUNT
      COUNT tiny stored entries named E00000.txt, E00001.txt, ...
  zip_tool.py count-in-16-bits ARCHIVE COUNT
      as "many", but without Zip64 end records: the end record's counts are
      0xFFFF, as minizip 1.1 writes them.
  zip_tool.py count-wrapped ARCHIVE COUNT
      as "many", but without Zip64 end records and with the counts cut to
      their low 16 bits, as some old writers did.
  zip_tool.py huge ARCHIVE
      a stored entry of 4 GiB + 1 MiB of zeros, then a small one, which so
      lies beyond 4 GiB.
"""
import hashlib
import struct
import sys
import zipfile


def dos_time(info):
    y, mo, d, h, mi, s = info.date_time
    return ((y - 1980) << 25) | (mo << 21) | (d << 16) | (h << 11) | (mi << 5) | (s // 2)


def extra_ids(extra):
    ids = []
    while len(extra) >= 4:
        header_id, size = struct.unpack("<HH", extra[:4])
        ids.append("%04x" % header_id)
        extra = extra[4 + size:]
    return ",".join(ids) or "-"


def stored_bytes(f, info):
    f.seek(info.header_offset)
    header = f.read(30)
    if header[:4] != b"PK\x03\x04":
        raise SystemExit("bad local header for " + info.filename)
    name_len, extra_len = struct.unpack("<HH", header[26:30])
    f.seek(name_len + extra_len, 1)
    return f.read(info.compress_size)


def dump(archive):
    with zipfile.ZipFile(archive) as z, open(archive, "rb") as raw:
        for info in z.infolist():
            content = z.read(info)
            shown = content.hex() if len(content) <= 64 else "sha1:" + hashlib.sha1(content).hexdigest()
            print("\t".join(str(x) for x in [
                info.filename, info.compress_type, "%04x" % info.flag_bits, "%08x" % dos_time(info),
                "%08x" % info.CRC, info.compress_size, info.file_size, extra_ids(info.extra),
                len(info.comment), info.external_attr, info.internal_attr,
                hashlib.sha1(stored_bytes(raw, info)).hexdigest(), shown]))
        print("comment\t%d" % len(z.comment))


def test(archive):
    with zipfile.ZipFile(archive) as z:
        bad = z.testzip()
        if bad is not None:
            raise SystemExit("testzip: bad entry " + bad)


def python_variety(archive):
    with zipfile.ZipFile(archive, "w") as z:
        z.comment = b"archive comment that must not survive"
        info = zipfile.ZipInfo("Data/Stored.TXT", (2001, 2, 3, 4, 5, 6))
        info.compress_type = zipfile.ZIP_STORED
        info.comment = b"entry comment"
        info.external_attr = 0o644 << 16
        z.writestr(info, b"stored bytes\x00\xff")
        info = zipfile.ZipInfo("data/deflated.bin", (2010, 12, 31, 23, 59, 58))
        info.compress_type = zipfile.ZIP_DEFLATED
        info.extra = struct.pack("<HH", 0xCAFE, 4) + b"xtra"
        z.writestr(info, bytes(range(256)) * 40, compresslevel=1)
        z.writestr(zipfile.ZipInfo("Folder/", (1999, 9, 9, 9, 9, 8)), b"")
        info = zipfile.ZipInfo("replace.me", (2020, 1, 1, 0, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        z.writestr(info, b"old content")
        info = zipfile.ZipInfo("DROP.me", (2020, 1, 1, 0, 0, 0))
        z.writestr(info, b"dropped")
        z.writestr(zipfile.ZipInfo("UPPER.txt", (2019, 4, 5, 6, 7, 8)), b"old upper")
        info = zipfile.ZipInfo("caf\u00e9.txt", (2015, 6, 7, 8, 9, 10))
        z.writestr(info, b"utf-8 name")


def streamed():
    if sys.stdout.buffer.seekable():
        raise SystemExit("stdout must be a pipe so that zipfile writes data descriptors")
    with zipfile.ZipFile(sys.stdout.buffer, "w") as z:
        for name, data, kind in [("Streamed/A.txt", b"streamed " * 100, zipfile.ZIP_DEFLATED),
                                 ("streamed/b.bin", b"\x00\x01\x02" * 7, zipfile.ZIP_STORED)]:
            info = zipfile.ZipInfo(name, (2005, 5, 5, 5, 5, 4))
            info.compress_type = kind
            with z.open(info, "w") as entry:
                entry.write(data)


def method(kind, archive):
    compression = {"bzip2": zipfile.ZIP_BZIP2, "lzma": zipfile.ZIP_LZMA}[kind]
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("first.txt", b"fine", compress_type=zipfile.ZIP_DEFLATED)
        z.writestr("second.txt", b"not deflate" * 50, compress_type=compression)


def option_bits(archive):
    bits = {"fast.bin": 4, "max.bin": 2, "superfast.bin": 6}
    with zipfile.ZipFile(archive, "w") as z:
        for name in bits:
            z.writestr(zipfile.ZipInfo(name, (2003, 3, 3, 3, 3, 2)), name.encode() * 30,
                       compress_type=zipfile.ZIP_DEFLATED)
    data = bytearray(open(archive, "rb").read())
    # Offsets in a local and in a central header of the flag, of the name's
    # length and of the name itself.
    for signature, flag_at, length_at, name_at in [(b"PK\x03\x04", 6, 26, 30),
                                                   (b"PK\x01\x02", 8, 28, 46)]:
        start = data.find(signature)
        while start >= 0:
            (length,) = struct.unpack_from("<H", data, start + length_at)
            name = bytes(data[start + name_at:start + name_at + length]).decode()
            struct.pack_into("<H", data, start + flag_at, bits[name])
            start = data.find(signature, start + name_at + length)
    open(archive, "wb").write(data)


def empty(archive):
    zipfile.ZipFile(archive, "w").close()


def long_name(archive):
    with zipfile.ZipFile(archive, "w") as z:
        z.writestr("short.txt", b"short")
        z.writestr("n" * 296 + ".txt", b"long")


def many(archive, count):
    with zipfile.ZipFile(archive, "w") as z:
        for i in range(count):
            info = zipfile.ZipInfo("E%05d.txt" % i, (2000, 1, 1, 0, 0, 0))
            z.writestr(info, b"%d" % i)


def without_zip64_end(archive, count, written_count):
    many(archive, count)
    data = open(archive, "rb").read()
    zip64_end = data.rfind(b"PK\x06\x06")
    (entries, directory_size, directory_offset) = struct.unpack_from("<QQQ", data, zip64_end + 32)
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, written_count, written_count,
                      directory_size, directory_offset, 0)
    open(archive, "wb").write(data[:zip64_end] + end)


def huge(archive):
    chunk = bytes(1 << 20)
    with zipfile.ZipFile(archive, "w", allowZip64=True) as z:
        info = zipfile.ZipInfo("Huge.bin", (2001, 1, 1, 0, 0, 0))
        with z.open(info, "w", force_zip64=True) as entry:
            for _ in range(4097):
                entry.write(chunk)
        z.writestr(zipfile.ZipInfo("After.txt", (2002, 2, 2, 0, 0, 0)), b"after the huge one")


if __name__ == "__main__":
    command = sys.argv[1]
    if command == "dump":
        dump(sys.argv[2])
    elif command == "test":
        test(sys.argv[2])
    elif command == "python-variety":
        python_variety(sys.argv[2])
    elif command == "streamed":
        streamed()
    elif command == "method":
        method(sys.argv[2], sys.argv[3])
    elif command == "option-bits":
        option_bits(sys.argv[2])
    elif command == "empty":
        empty(sys.argv[2])
    elif command == "long-name":
        long_name(sys.argv[2])
    elif command == "many":
        many(sys.argv[2], int(sys.argv[3]))
    elif command == "count-in-16-bits":
        without_zip64_end(sys.argv[2], int(sys.argv[3]), 0xFFFF)
    elif command == "count-wrapped":
        without_zip64_end(sys.argv[2], int(sys.argv[3]), int(sys.argv[3]) % 0x10000)
    elif command == "huge":
        huge(sys.argv[2])
    else:
        raise SystemExit("unknown command " + command)
