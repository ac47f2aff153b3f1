#!/usr/bin/env python3
"""Reads a built installer's PE image back and checks what Windows will see.

    check_resources.py --messages resources/messages.txt STUB.exe
        [--installer INSTALLER.exe --payload PAYLOAD]

STUB must carry the dialog, icon, manifest and message table exactly as the
installer expects them, import only Windows' own DLLs, be a GUI program and
carry no payload. INSTALLER, made from a payload by `patchpack attach`,
must carry the same and PAYLOAD's bytes as resource "PATCHDATA" 101.

Only the standard library: the resource directory is parsed here, so the test
does not depend on the tools that made the file. Prints every problem found
and exits with 1 if there is any.
"""

import argparse
import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_MANIFEST = 3, 5, 14, 24
LANG_RUSSIAN, LANG_ENGLISH_US, LANG_NEUTRAL = 1049, 1033, 0
SUBSYSTEM_WINDOWS_GUI = 2

# DLLs that every Windows installation has.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll", "ole32.dll",
    "oleaut32.dll", "comctl32.dll", "comdlg32.dll", "shlwapi.dll", "msvcrt.dll",
    "ucrtbase.dll", "ntdll.dll", "version.dll",
}


class PeImage:
    """The parts of a PE32+ image that the checks need."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from(
            "<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic != 0x20B:
            raise ValueError("not a PE32+ image (magic %#x)" % magic)
        self.subsystem = struct.unpack_from("<H", data, optional + 68)[0]
        directory_count = struct.unpack_from("<I", data, optional + 108)[0]
        self.directories = [
            struct.unpack_from("<II", data, optional + 112 + 8 * i)
            for i in range(directory_count)
        ]
        self.subsystem_offset = optional + 68
        self.checksum_offset = optional + 64
        self.checksum = struct.unpack_from("<I", data, optional + 64)[0]
        self.image_size = struct.unpack_from("<I", data, optional + 56)[0]
        self.section_alignment = struct.unpack_from("<I", data, optional + 32)[0]
        self.time_stamp = struct.unpack_from("<I", data, pe + 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, virtual_size, rva, raw_size, raw_offset = struct.unpack_from(
                "<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset, raw_size))

    def computed_checksum(self):
        """The image checksum: 16-bit words summed with the carries folded
        back, the checksum field left out, plus the file size."""
        data = bytearray(self.data)
        data[self.checksum_offset:self.checksum_offset + 4] = b"\0\0\0\0"
        if len(data) % 2:
            data.append(0)
        total = sum(struct.unpack("<%dH" % (len(data) // 2), data))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(self.data)

    def layout_problems(self):
        """Sections that do not follow each other in memory, or an image size
        that does not end with the last of them: what the loader refuses."""
        problems = []
        align = self.section_alignment
        end = None
        for rva, size, _, _ in self.sections:
            if end is not None and rva != end:
                problems.append("section at %#x, expected %#x" % (rva, end))
            end = (rva + size + align - 1) // align * align
        if end != self.image_size:
            problems.append("image size %#x, sections end at %#x" % (self.image_size, end))
        return problems

    def offset(self, rva):
        for start, size, raw_offset, raw_size in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw_offset + rva - start
        raise ValueError("RVA %#x is in no section's file data" % rva)

    def c_string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imported_dlls(self):
        rva, size = self.directories[1]
        dlls = []
        if size == 0:
            return dlls
        at = self.offset(rva)
        while True:
            descriptor = struct.unpack_from("<IIIII", self.data, at)
            if descriptor == (0, 0, 0, 0, 0):
                return dlls
            dlls.append(self.c_string(descriptor[3]))
            at += 20

    def resources(self):
        """{(type, name, language): bytes}; types and names are ints or strings."""
        rva, size = self.directories[2]
        found = {}
        self.resource_offsets = {}
        if size == 0:
            return found
        base = self.offset(rva)

        def entry_id(value):
            if value & 0x80000000:
                at = base + (value & 0x7FFFFFFF)
                length = struct.unpack_from("<H", self.data, at)[0]
                return self.data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            return value

        self.order_problems = []

        def walk(directory, path):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            # Windows searches each directory by halves: named entries first,
            # by their upper-cased names, then numbered ones ascending.
            order = []
            for i in range(named + numbered):
                name, target = struct.unpack_from(
                    "<II", self.data, base + directory + 16 + 8 * i)
                order.append((0, entry_id(name).upper()) if i < named else (1, entry_id(name)))
                if (i < named) != bool(name & 0x80000000):
                    self.order_problems.append("%r: entry %d is counted wrongly" % (path, i))
                key = path + (entry_id(name),)
                if target & 0x80000000:
                    walk(target & 0x7FFFFFFF, key)
                else:
                    data_rva, data_size, _, _ = struct.unpack_from(
                        "<IIII", self.data, base + target)
                    at = self.offset(data_rva)
                    found[key] = self.data[at:at + data_size]
                    self.resource_offsets[key] = at
            if order != sorted(order) or len(set(order)) != len(order):
                self.order_problems.append("%r: entries out of order %r" % (path, order))

        walk(0, ())
        return found


class Checker:
    def __init__(self, label):
        self.label = label
        self.problems = []

    def expect(self, what, actual, expected):
        if actual != expected:
            self.problems.append("%s: %s is %r, expected %r" % (self.label, what, actual, expected))


def only_resource(checker, resources, kind, name, language, what):
    """The one resource of that type and name, which must be in `language`."""
    matches = {key: value for key, value in resources.items() if key[:2] == (kind, name)}
    checker.expect(what + " languages", sorted(key[2] for key in matches), [language])
    return matches.get((kind, name, language))


def check_dialog(checker, resources):
    data = only_resource(checker, resources, RT_DIALOG, 101, LANG_RUSSIAN, "dialog 101")
    if data is None:
        return
    checker.expect("dialog size", len(data), 128)
    (version, signature, help_id, ex_style, style, count, x, y, cx, cy) = struct.unpack_from(
        "<HHIIIHhhhh", data, 0)
    checker.expect("dialog version", version, 1)
    checker.expect("dialog signature", signature, 0xFFFF)
    checker.expect("dialog help id", help_id, 0)
    checker.expect("dialog extended style", hex(ex_style), hex(0x00020000))
    checker.expect("dialog style", hex(style), hex(0x800008CC))
    checker.expect("dialog control count", count, 2)
    checker.expect("dialog rectangle", (x, y, cx, cy), (0, 0, 155, 51))
    at = 26
    # Menu, class and title: each an empty string (a single 0 unit).
    checker.expect("dialog menu, class, title", struct.unpack_from("<HHH", data, at), (0, 0, 0))
    at += 6
    point_size, weight, italic, charset = struct.unpack_from("<HHBB", data, at)
    checker.expect("dialog font", (point_size, weight, italic, charset), (8, 400, 0, 1))
    at += 6
    end = at
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    checker.expect("dialog typeface", data[at:end].decode("utf-16-le"), "MS Shell Dlg")
    at = end + 2
    expected_controls = [
        # class, id, style, x, y, cx, cy
        (0x0080, 2, 0x50010000, 53, 30, 50, 14),
        (0x0081, 1005, 0x50010805, 7, 7, 141, 21),
    ]
    for number, expected in enumerate(expected_controls, start=1):
        at = (at + 3) & ~3
        what = "control %d " % number
        (help_id, ex_style, style, x, y, cx, cy, control_id) = struct.unpack_from(
            "<IIIhhhhI", data, at)
        at += 24
        marker, control_class = struct.unpack_from("<HH", data, at)
        at += 4
        title, extra = struct.unpack_from("<HH", data, at)
        at += 4
        checker.expect(what + "help id, extended style", (help_id, ex_style), (0, 0))
        checker.expect(what + "class", (hex(marker), hex(control_class)),
                       (hex(0xFFFF), hex(expected[0])))
        checker.expect(what + "id", control_id, expected[1])
        checker.expect(what + "style", hex(style), hex(expected[2]))
        checker.expect(what + "rectangle", (x, y, cx, cy), expected[3:])
        checker.expect(what + "text, creation data", (title, extra), (0, 0))
    checker.expect("dialog template end", at, len(data))


def check_icon(checker, resources):
    data = only_resource(checker, resources, RT_GROUP_ICON, 102, LANG_RUSSIAN, "icon group 102")
    if data is None:
        return
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    checker.expect("icon group header", (reserved, kind, count), (0, 1, 4))
    checker.expect("icon group size", len(data), 6 + 14 * count)
    expected = {16: 1128, 24: 2440, 32: 4264, 48: 9640}
    sizes = []
    for i in range(min(count, (len(data) - 6) // 14)):
        width, height, colours, _, planes, bits, size, icon_id = struct.unpack_from(
            "<BBBBHHIH", data, 6 + 14 * i)
        what = "icon %dx%d " % (width, height)
        sizes.append((width, height))
        checker.expect(what + "colours, planes, bits", (colours, planes, bits), (0, 1, 32))
        checker.expect(what + "resource size", size, expected.get(width))
        image = resources.get((RT_ICON, icon_id, LANG_RUSSIAN))
        if image is None:
            checker.problems.append("%s: %sresource %d missing" % (checker.label, what, icon_id))
            continue
        checker.expect(what + "image size", len(image), size)
        header = struct.unpack_from("<IiiHHI", image, 0)
        # Uncompressed 32-bit bitmap, twice as high: colours, then the mask.
        checker.expect(what + "bitmap header", header, (40, width, 2 * height, 1, 32, 0))
    checker.expect("icon sizes", sizes, [(16, 16), (24, 24), (32, 32), (48, 48)])
    checker.expect("icon resource ids", [struct.unpack_from("<H", data, 6 + 14 * i + 12)[0]
                                         for i in range(len(sizes))], [1, 2, 3, 4])


def check_manifest(checker, resources):
    manifests = sorted(key for key in resources if key[0] == RT_MANIFEST)
    checker.expect("manifests", manifests, [(RT_MANIFEST, 1, LANG_ENGLISH_US)])
    data = resources.get((RT_MANIFEST, 1, LANG_ENGLISH_US))
    if data is None:
        return
    try:
        root = ElementTree.fromstring(data)
    except ElementTree.ParseError as error:
        checker.problems.append("%s: manifest is not XML: %s" % (checker.label, error))
        return
    v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    checker.expect("manifest root", root.tag, v1 + "assembly")
    # Only the trust information: no dependency on the version 6 controls.
    checker.expect("manifest content", [child.tag for child in root], [v3 + "trustInfo"])
    levels = root.findall("%strustInfo/%ssecurity/%srequestedPrivileges/%srequestedExecutionLevel"
                          % (v3, v3, v3, v3))
    checker.expect("execution levels",
                   [(level.get("level"), level.get("uiAccess")) for level in levels],
                   [("requireAdministrator", "false")])


def check_image(label, data, messages, payload):
    checker = Checker(label)
    try:
        image = PeImage(data)
        resources = image.resources()
    except (ValueError, struct.error, IndexError) as error:
        checker.problems.append("%s: not a readable PE image: %s" % (label, error))
        return checker.problems
    checker.expect("machine", hex(image.machine), hex(0x8664))
    checker.expect("checksum", hex(image.checksum), hex(image.computed_checksum()))
    checker.expect("section layout", image.layout_problems(), [])
    checker.expect("resource directory order", image.order_problems, [])
    checker.expect("subsystem", image.subsystem, SUBSYSTEM_WINDOWS_GUI)
    foreign = [dll for dll in image.imported_dlls()
               if dll.lower() not in SYSTEM_DLLS and not dll.lower().startswith("api-ms-win-")]
    checker.expect("imports from non-system DLLs", foreign, [])
    check_dialog(checker, resources)
    check_icon(checker, resources)
    check_manifest(checker, resources)
    table = only_resource(checker, resources, "LOCAL", 103, LANG_RUSSIAN, "LOCAL 103")
    checker.expect("LOCAL 103 equals the message table", table == messages, True)
    # Nothing else: a library's version resource, say, would change what
    # Explorer shows for the installer.
    expected = {(RT_DIALOG, 101, LANG_RUSSIAN), (RT_GROUP_ICON, 102, LANG_RUSSIAN),
                (RT_MANIFEST, 1, LANG_ENGLISH_US), ("LOCAL", 103, LANG_RUSSIAN)}
    expected |= {(RT_ICON, number, LANG_RUSSIAN) for number in (1, 2, 3, 4)}
    if payload is not None:
        expected.add(("PATCHDATA", 101, LANG_NEUTRAL))
    checker.expect("other resources", sorted(map(str, set(resources) - expected)), [])
    payloads = sorted(key for key in resources if key[0] == "PATCHDATA")
    if payload is None:
        checker.expect("PATCHDATA resources", payloads, [])
    else:
        checker.expect("PATCHDATA resources", payloads, [("PATCHDATA", 101, LANG_NEUTRAL)])
        found = resources.get(("PATCHDATA", 101, LANG_NEUTRAL))
        checker.expect("PATCHDATA 101 equals the payload", found == payload, True)
        if found is not None:
            # Made by patchpack attach: the same inputs give the same bytes.
            checker.expect("time stamp", image.time_stamp, 0)
    return checker.problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("stub")
    parser.add_argument("--messages", required=True)
    parser.add_argument("--installer")
    parser.add_argument("--payload")
    args = parser.parse_args()
    if (args.installer is None) != (args.payload is None):
        parser.error("--installer and --payload go together")

    def read(path):
        with open(path, "rb") as file:
            return file.read()

    messages = read(args.messages)
    problems = check_image(args.stub, read(args.stub), messages, None)
    if args.installer:
        problems += check_image(args.installer, read(args.installer), messages, read(args.payload))
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("resources, imports and subsystem as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
