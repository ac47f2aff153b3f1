#!/usr/bin/env python3
"""Shows that check_resources.py finds real faults: each test damages one
field of a good stub or installer in memory and expects exactly that field to
be reported, after checking that the undamaged image passes.

    check_resources_test.py STUB.exe INSTALLER.exe PAYLOAD MESSAGES
"""

import os
import struct
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_resources  # noqa: E402

STUB = INSTALLER = PAYLOAD = MESSAGES = None


def read(path):
    with open(path, "rb") as file:
        return file.read()


def resealed(data):
    """`data` with its checksum made right again, so that a test's damage is
    the only fault in the image."""
    image = check_resources.PeImage(data)
    return patched(data, image.checksum_offset, struct.pack("<I", image.computed_checksum()))


def damaged(data, key, change):
    """A copy of `data` with `change(bytes) -> bytes` applied to resource `key`."""
    image = check_resources.PeImage(data)
    original = image.resources()[key]
    replacement = change(original)
    assert len(replacement) == len(original)
    at = image.resource_offsets[key]
    return resealed(data[:at] + replacement + data[at + len(original):])


def patched(data, offset, new):
    return data[:offset] + new + data[offset + len(new):]


class CheckResourcesTest(unittest.TestCase):
    def problems(self, data, payload=None):
        return check_resources.check_image("image", data, MESSAGES, payload)

    def assertReported(self, data, phrase, payload=None):
        problems = self.problems(data, payload)
        self.assertTrue(problems, "damage went unnoticed")
        self.assertTrue(all(phrase in problem for problem in problems), problems)

    def test_good_images_pass(self):
        self.assertEqual(self.problems(STUB), [])
        self.assertEqual(self.problems(INSTALLER, PAYLOAD), [])

    def test_dialog_with_caption_is_reported(self):
        def add_caption(template):  # WS_CAPTION is 0x00C00000
            style = struct.unpack_from("<I", template, 12)[0] | 0x00C00000
            return patched(template, 12, struct.pack("<I", style))
        self.assertReported(damaged(STUB, (5, 101, 1049), add_caption), "dialog style")

    def test_edit_control_with_border_is_reported(self):
        def add_border(template):  # WS_BORDER on the second control
            style = struct.unpack_from("<I", template, 104)[0] | 0x00800000
            return patched(template, 104, struct.pack("<I", style))
        self.assertReported(damaged(STUB, (5, 101, 1049), add_border), "control 2 style")

    def test_dialog_font_weight_is_reported(self):
        def bold(template):
            return patched(template, 34, struct.pack("<H", 700))
        self.assertReported(damaged(STUB, (5, 101, 1049), bold), "dialog font")

    def test_changed_message_table_is_reported(self):
        def change(table):
            return table[:-1] + bytes([table[-1] ^ 1])
        self.assertReported(damaged(STUB, ("LOCAL", 103, 1049), change), "message table")

    def test_icon_of_fewer_bits_is_reported(self):
        def eight_bits(group):  # wBitCount of the first entry
            return patched(group, 6 + 6, struct.pack("<H", 8))
        self.assertReported(damaged(STUB, (14, 102, 1049), eight_bits), "icon 16x16")

    def test_manifest_without_administrator_is_reported(self):
        def as_invoker(manifest):
            return manifest.replace(b'"requireAdministrator"', b'"asInvoker"           ')
        self.assertReported(damaged(STUB, (24, 1, 1033), as_invoker), "execution levels")

    def test_console_subsystem_is_reported(self):
        image = check_resources.PeImage(STUB)
        console = resealed(patched(STUB, image.subsystem_offset, struct.pack("<H", 3)))
        self.assertReported(console, "subsystem")

    def test_import_of_a_foreign_dll_is_reported(self):
        at = STUB.find(b"KERNEL32.dll\0")
        self.assertNotEqual(at, -1)
        self.assertReported(resealed(patched(STUB, at, b"LIBLZMA5.dll\0")), "non-system DLLs")

    def test_stub_with_payload_is_reported(self):
        problems = self.problems(INSTALLER)
        self.assertTrue(any("PATCHDATA resources" in problem for problem in problems), problems)
        self.assertTrue(any("other resources" in problem for problem in problems), problems)

    def test_installer_with_other_payload_is_reported(self):
        self.assertReported(INSTALLER, "PATCHDATA 101 equals", PAYLOAD + b"x")

    def test_renumbered_icon_is_reported(self):
        def renumber(group):  # nID of the last entry: 4 becomes 3
            return patched(group, 6 + 3 * 14 + 12, struct.pack("<H", 3))
        problems = self.problems(damaged(STUB, (14, 102, 1049), renumber))
        self.assertTrue(any("icon resource ids" in problem for problem in problems), problems)

    def test_wrong_checksum_is_reported(self):
        image = check_resources.PeImage(INSTALLER)
        wrong = struct.pack("<I", image.checksum ^ 0x10)
        self.assertReported(patched(INSTALLER, image.checksum_offset, wrong),
                            "checksum", PAYLOAD)

    def test_short_image_size_is_reported(self):
        image = check_resources.PeImage(INSTALLER)
        at = image.checksum_offset - 8
        smaller = resealed(patched(INSTALLER, at, struct.pack("<I", image.image_size - 0x1000)))
        problems = self.problems(smaller, PAYLOAD)
        self.assertTrue(any("section layout" in problem for problem in problems), problems)

    def test_named_types_out_of_order_are_reported(self):
        # The root's first two entries, "LOCAL" and "PATCHDATA", swapped: a
        # binary search for one of them would miss it.
        image = check_resources.PeImage(INSTALLER)
        root = image.offset(image.directories[2][0]) + 16
        first, second = INSTALLER[root:root + 8], INSTALLER[root + 8:root + 16]
        swapped = resealed(patched(INSTALLER, root, second + first))
        self.assertReported(swapped, "resource directory order", PAYLOAD)

    def test_installer_without_payload_is_reported(self):
        self.assertReported(STUB, "PATCHDATA", PAYLOAD)


if __name__ == "__main__":
    STUB, INSTALLER, PAYLOAD, MESSAGES = (read(path) for path in sys.argv[1:5])
    unittest.main(argv=sys.argv[:1] + sys.argv[5:])
