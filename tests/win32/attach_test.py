#!/usr/bin/env python3
"""patchpack attach and inspect on the Windows stub, through the real binary:
the resources it writes, read back by check_resources.py; the same bytes from
the same inputs; a second attach; a replacement message table; every
refusal as one line on stderr with nothing written; installers signed with
osslsigncode under a throwaway CA, read by inspect and verify, and attached
to again; and installers cut short, called truncated.

    attach_test.py PATCHPACK STUB.exe MESSAGES OTHER.exe

OTHER.exe is any Windows program that is not the stub (the test driver).
"""

import hashlib
import json
import os
import random
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_resources  # noqa: E402
import signing  # noqa: E402
from signing import PUBLISHER  # noqa: E402

PATCHPACK = STUB = MESSAGES = OTHER = None


def run(*arguments):
    return subprocess.run([str(PATCHPACK)] + [str(a) for a in arguments], capture_output=True,
                          text=True, timeout=120)


def table(lines):
    return b"\xff\xfe" + "\r\n".join(lines).encode("utf-16-le")


class WindowsAttachTest(unittest.TestCase):
    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory(prefix="attach-test-")
        self.dir = Path(self.temporary.name)
        self.payload = self.build_payload("first", b"first version " * 1000)

    def tearDown(self):
        self.temporary.cleanup()

    def build_payload(self, name, content):
        source = self.dir / (name + "-source")
        (source / "files" / "data").mkdir(parents=True)
        (source / "version.txt").write_text("14\n")
        (source / "files" / "data" / "readme.txt").write_bytes(content)
        path = self.dir / (name + ".payload")
        result = run("build", source, "-o", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return path

    def attach(self, stub, payload, output, *extra):
        result = run("attach", stub, payload, "-o", output, *extra)
        self.assertEqual(result.returncode, 0, result.stderr)
        return output.read_bytes()

    def resources(self, data):
        return check_resources.PeImage(data).resources()

    def assertRefused(self, phrase, stub, payload, output, *extra):
        result = run("attach", stub, payload, "-o", output, *extra)
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr.count("\n"), 1, result.stderr)
        self.assertIn(phrase, result.stderr)

    def test_installer_carries_the_payload_and_every_stub_resource(self):
        data = self.attach(STUB, self.payload, self.dir / "a.exe")
        problems = check_resources.check_image("a.exe", data, MESSAGES, self.payload.read_bytes())
        self.assertEqual(problems, [])
        objdump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(self.dir / "a.exe")],
                                 capture_output=True, text=True, timeout=60)
        self.assertEqual(objdump.returncode, 0, objdump.stderr)
        self.assertIn("Resource Directory [.rsrc]", objdump.stdout)
        self.assertIn("Base Relocation Directory [.reloc]", objdump.stdout)

    def test_same_inputs_give_the_same_bytes(self):
        first = self.attach(STUB, self.payload, self.dir / "a.exe")
        second = self.attach(STUB, self.payload, self.dir / "b.exe")
        self.assertEqual(first, second)

    def test_attaching_again_replaces_the_payload_and_keeps_the_table(self):
        twelve = table(["Entpacken"] + ["Zeile %d" % n for n in range(2, 13)])
        (self.dir / "de.txt").write_bytes(twelve)
        self.attach(STUB, self.payload, self.dir / "a.exe", "--messages", self.dir / "de.txt")
        other = self.build_payload("second", random.Random(7).randbytes(200000))
        data = self.attach(self.dir / "a.exe", other, self.dir / "b.exe")
        resources = self.resources(data)
        self.assertEqual(sorted(k for k in resources if k[0] == "PATCHDATA"),
                         [("PATCHDATA", 101, 0)])
        self.assertEqual(resources[("PATCHDATA", 101, 0)], other.read_bytes())
        # The table keeps the stub's language, under which the installer finds it.
        self.assertEqual(sorted(k for k in resources if k[0] == "LOCAL"), [("LOCAL", 103, 1049)])
        self.assertEqual(resources[("LOCAL", 103, 1049)], twelve)
        # A payload of 200 KB more moves the relocations; the image stays whole.
        problems = check_resources.check_image("b.exe", data, twelve, other.read_bytes())
        self.assertEqual(problems, [])

    def test_refusals(self):
        out = self.dir / "out.exe"
        self.assertRefused("not a patch-installer stub", OTHER, self.payload, out)
        damaged = bytearray(self.payload.read_bytes())
        damaged[-1] ^= 1
        (self.dir / "damaged.payload").write_bytes(damaged)
        self.assertRefused("not a payload", STUB, self.dir / "damaged.payload", out)
        (self.dir / "eleven.txt").write_bytes(table(["line"] * 11))
        self.assertRefused("11 lines, the installer needs 12", STUB, self.payload, out,
                           "--messages", self.dir / "eleven.txt")
        (self.dir / "cut.exe").write_bytes(STUB.read_bytes()[:STUB.stat().st_size // 2])
        self.assertRefused("truncated Windows installer", self.dir / "cut.exe", self.payload, out)
        self.assertFalse(out.exists())
        before = self.payload.read_bytes()
        self.assertRefused("would replace the input", STUB, self.payload, self.payload)
        self.assertEqual(self.payload.read_bytes(), before)

    def test_damaged_resource_directories_are_refused_not_followed(self):
        # Bytes of the installer's resource directory changed one at a time:
        # inspect and attach must read within the file and end with 0 or 1.
        data = self.attach(STUB, self.payload, self.dir / "a.exe")
        image = check_resources.PeImage(data)
        start = image.offset(image.directories[2][0])
        chooser = random.Random(12)
        for round_number in range(24):
            damaged = bytearray(data)
            at = start + chooser.randrange(0x200)
            damaged[at] ^= 1 << chooser.randrange(8)
            path = self.dir / ("damaged-%d.exe" % round_number)
            path.write_bytes(damaged)
            for arguments in (["inspect", path], ["attach", path, self.payload, "-o",
                                                  self.dir / ("out-%d.exe" % round_number)]):
                result = run(*arguments)
                self.assertIn(result.returncode, (0, 1), (at, result.stderr))
                self.assertNotIn("Sanitizer", result.stderr)

    def test_inspect_reads_the_installer_and_says_a_stub_has_nothing(self):
        self.attach(STUB, self.payload, self.dir / "a.exe")
        listing = run("inspect", self.dir / "a.exe")
        self.assertEqual(listing.returncode, 0, listing.stderr)
        size = self.payload.stat().st_size
        self.assertTrue(listing.stdout.startswith(
            "Windows installer, payload %d bytes, not signed\nversion 14\n" % size),
            listing.stdout)
        document = json.loads(run("inspect", "--json", self.dir / "a.exe").stdout)
        self.assertEqual(document["result"], "ok")
        self.assertEqual(document["kind"], "Windows installer")
        self.assertEqual(document["payload"]["sha1"],
                         hashlib.sha1(self.payload.read_bytes()).hexdigest())
        self.assertEqual(document["staging"]["bytes_at_least"], len(b"first version " * 1000))
        bare = run("inspect", STUB)
        self.assertEqual(bare.returncode, 1)
        self.assertIn("Windows stub: nothing is attached", bare.stderr)
        document = json.loads(run("inspect", "--json", STUB).stdout)
        self.assertEqual(document["result"], "nothing attached")


class WindowsSigningTest(unittest.TestCase):
    """The signing step of the authoring workflow: attach, then sign."""

    def setUp(self):
        self.temporary = tempfile.TemporaryDirectory(prefix="signing-test-")
        self.dir = Path(self.temporary.name)
        signing.make_certificates(self.dir)
        self.payload = WindowsAttachTest.build_payload(self, "first", b"first version " * 1000)
        self.unsigned = self.dir / "unsigned.exe"
        result = run("attach", STUB, self.payload, "-o", self.unsigned)
        self.assertEqual(result.returncode, 0, result.stderr)

    def tearDown(self):
        self.temporary.cleanup()

    def sign(self, source, target):
        result = signing.sign(self.dir, source, target)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)

    def verify_signature(self, path):
        return signing.verify(self.dir, path)

    def test_signed_installer_verifies_and_is_read_by_inspect_and_verify(self):
        signed = self.dir / "signed.exe"
        self.sign(self.unsigned, signed)
        checked = self.verify_signature(signed)
        self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
        self.assertNotEqual(self.verify_signature(self.unsigned).returncode, 0)
        # The certificate table follows the sections; the resources are
        # where they were.
        image = check_resources.PeImage(signed.read_bytes())
        offset, size = image.directories[4]
        self.assertEqual(offset, self.unsigned.stat().st_size)
        self.assertEqual(offset + size, signed.stat().st_size)
        self.assertEqual(image.resources()[("PATCHDATA", 101, 0)], self.payload.read_bytes())

        listing = run("inspect", signed)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertTrue(listing.stdout.startswith(
            "Windows installer, payload %d bytes, signed by %s\nversion 14\n" %
            (self.payload.stat().st_size, PUBLISHER)), listing.stdout)
        document = json.loads(run("inspect", "--json", signed).stdout)
        self.assertEqual(document["payload"]["sha1"],
                         hashlib.sha1(self.payload.read_bytes()).hexdigest())
        self.assertEqual(document["signature"], "signed by " + PUBLISHER)
        document = json.loads(run("inspect", "--json", self.unsigned).stdout)
        self.assertEqual(document["signature"], "not signed")

        game = self.dir / "game"
        (game / "data").mkdir(parents=True)
        (game / "curver.txt").write_text("13\n")
        verified = run("verify", "--quiet", signed, game)
        self.assertEqual(verified.returncode, 0, verified.stdout + verified.stderr)
        self.assertIn("(installer, signed by %s)" % PUBLISHER, verified.stdout)
        document = json.loads(run("verify", "--json", "--quiet", signed, game).stdout)
        self.assertEqual((document["result"], document["signature"]),
                         ("ok", "signed by " + PUBLISHER))
        self.assertEqual((game / "curver.txt").read_text(), "13\n")

    def test_attaching_to_a_signed_installer_drops_the_stale_signature(self):
        signed = self.dir / "signed.exe"
        self.sign(self.unsigned, signed)
        other = WindowsAttachTest.build_payload(self, "second", random.Random(3).randbytes(100000))
        again = self.dir / "again.exe"
        result = run("attach", signed, other, "-o", again)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("signed by " + PUBLISHER, result.stderr)
        self.assertIn(str(again) + " is written without it", result.stderr)
        data = again.read_bytes()
        self.assertEqual(check_resources.PeImage(data).directories[4], (0, 0))
        self.assertEqual(check_resources.check_image("again.exe", data, MESSAGES,
                                                     other.read_bytes()), [])
        self.assertNotEqual(self.verify_signature(again).returncode, 0)
        listing = run("inspect", again)
        self.assertIn(", not signed\n", listing.stdout)
        # The same bytes as an attach to the stub that was never signed.
        fresh = self.dir / "fresh.exe"
        self.assertEqual(run("attach", STUB, other, "-o", fresh).returncode, 0)
        self.assertEqual(data, fresh.read_bytes())
        # Signed again, it verifies.
        resigned = self.dir / "resigned.exe"
        self.sign(again, resigned)
        self.assertEqual(self.verify_signature(resigned).returncode, 0)

    def test_installer_cut_short_is_called_truncated(self):
        signed = self.dir / "signed.exe"
        self.sign(self.unsigned, signed)
        whole = signed.read_bytes()
        unsigned_size = self.unsigned.stat().st_size
        image = check_resources.PeImage(whole)
        image.resources()
        payload_at = image.resource_offsets[("PATCHDATA", 101, 0)]
        game = self.dir / "game"
        game.mkdir()
        for size in (len(whole) - 1, unsigned_size + 8, unsigned_size - 1, payload_at + 100,
                     1000, 100):
            cut = self.dir / "cut.exe"
            cut.write_bytes(whole[:size])
            said = "truncated Windows installer: the file is %d bytes" % size
            for arguments in (["inspect", cut], ["verify", cut, game]):
                result = run(*arguments)
                self.assertEqual(result.returncode, 1, (size, result.stdout))
                self.assertIn(said, result.stderr)
                self.assertNotIn("payload", result.stderr)
            document = json.loads(run("inspect", "--json", cut).stdout)
            self.assertEqual(document["result"], "truncated")
        # The whole size is given: the end of the certificate table, or of
        # the last section when the installer is not signed.
        cut.write_bytes(whole[:payload_at + 100])
        self.assertIn("its headers describe at least %d bytes" % len(whole),
                      run("inspect", cut).stderr)
        cut.write_bytes(self.unsigned.read_bytes()[:payload_at + 100])
        self.assertIn("its headers describe at least %d bytes" % unsigned_size,
                      run("inspect", cut).stderr)


if __name__ == "__main__":
    PATCHPACK, STUB, MESSAGES_PATH, OTHER = (Path(p).resolve() for p in sys.argv[1:5])
    MESSAGES = MESSAGES_PATH.read_bytes()
    unittest.main(argv=sys.argv[:1] + sys.argv[5:])
