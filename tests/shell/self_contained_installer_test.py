#!/usr/bin/env python3
"""The console installer needs nothing on a player's machine but the C
library and the loader. An installer made by `patchpack attach` is checked
twice: the libraries its dynamic section names (readelf -d, NEEDED), and a
real install in a root folder that holds only the loader, the C library and
what those names need, with the game folder beside them.

    self_contained_installer_test.py --patchpack PATCHPACK --stub STUB [--sanitized]

Without --sanitized (the release stub) only libc, libm and the loader may be
named. With it, the sanitizer runtimes of the test build may be named too,
and the root holds what they need in turn (libubsan needs the C++ runtime;
the installer itself must not name it).

The install runs as `unshare --root` with a /proc of its own, since the
installer reads its payload through /proc/self/exe. Where unshare is not
permitted (not root), that half is skipped with exit status 77 once the
dependency check has passed.
"""

import argparse
import re
import shutil
import subprocess
import sys
import tempfile
import zipfile
from pathlib import Path

SKIPPED = 77
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2"}
SANITIZER_RUNTIME = re.compile(r"^lib(asan|ubsan)\.so\.\d+$")

OLD_SOUNDS = {"hit.wav": b"old hit " * 300, "keep.wav": b"kept sound " * 500}
NEW_README = b"Patched readme: version 14.\r\n"
NEW_WAV = b"brand new sound " * 100


def fail(message):
    print("FAILED: " + message)
    sys.exit(1)


def run(command, **options):
    return subprocess.run([str(part) for part in command], capture_output=True, text=True,
                          timeout=120, **options)


def needed_libraries(executable):
    result = run(["readelf", "-d", executable])
    if result.returncode != 0:
        fail("readelf -d " + str(executable) + ": " + result.stderr)
    return re.findall(r"\(NEEDED\)\s+Shared library: \[([^\]]+)\]", result.stdout)


def interpreter(executable):
    result = run(["readelf", "-lW", executable])
    found = re.search(r"Requesting program interpreter: ([^\]]+)\]", result.stdout)
    if not found:
        fail(str(executable) + " names no program interpreter")
    return found.group(1)


def resolved_libraries(executable):
    """Every library the loader maps for `executable`, by path."""
    result = run(["ldd", executable])
    if result.returncode != 0:
        fail("ldd " + str(executable) + ": " + result.stdout + result.stderr)
    return re.findall(r"=>\s+(/\S+)", result.stdout)


def make_game(folder):
    (folder / "data").mkdir(parents=True)
    (folder / "sv.exe").write_bytes(b"MZ the game itself")
    (folder / "data" / "game.ini").write_text("[game]\r\nlanguage=en\r\n")
    (folder / "data" / "readme.txt").write_text("Old readme.\r\n")
    (folder / "data" / "obsolete.txt").write_text("Removed by the patch.\r\n")
    (folder / "curver.txt").write_text("13\r\n")
    with zipfile.ZipFile(folder / "data" / "sounds.zip", "w", zipfile.ZIP_DEFLATED) as archive:
        for name, content in OLD_SOUNDS.items():
            archive.writestr(name, content)


def make_installer(patchpack, stub, work):
    """An installer that replaces a loose file, adds an archive entry (zlib
    and minizip at work) and deletes a file, from an LZMA payload."""
    source = work / "source"
    (source / "files" / "data").mkdir(parents=True)
    (source / "archives" / "data" / "sounds.zip").mkdir(parents=True)
    (source / "version.txt").write_text("14\n")
    (source / "files" / "data" / "readme.txt").write_bytes(NEW_README)
    (source / "archives" / "data" / "sounds.zip" / "new.wav").write_bytes(NEW_WAV)
    (source / "delete.txt").write_text("data/obsolete.txt\n")
    payload = work / "patch.payload"
    installer = work / "patch-installer"
    for command in (["build", source, "-o", payload],
                    ["attach", stub, payload, "-o", installer, "--quiet"]):
        result = run([patchpack] + command)
        if result.returncode != 0:
            fail("patchpack " + command[0] + ": " + result.stderr)
    return installer


def check_dependencies(installer, sanitized):
    needed = needed_libraries(installer)
    unexpected = [name for name in needed if name not in SYSTEM_LIBRARIES and
                  not (sanitized and SANITIZER_RUNTIME.match(name))]
    if unexpected:
        fail("the installer needs " + ", ".join(unexpected) + " beyond the C library (it names " +
             ", ".join(needed) + ")")
    print("needed: " + ", ".join(needed))


def make_root(root, installer, sanitized):
    loader = interpreter(installer)
    libraries = [loader] + resolved_libraries(installer)
    for library in libraries:
        target = root / library.lstrip("/")
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(library, target)
    names = sorted({Path(library).name for library in libraries})
    if not sanitized and not set(names) <= SYSTEM_LIBRARIES:
        fail("the loader maps more than the C library: " + ", ".join(names))
    print("root holds: " + ", ".join(names))
    shutil.copy2(installer, root / "patch-installer")
    (root / "proc").mkdir()
    (root / "tmp").mkdir()


def install_in_root(root):
    unshare = shutil.which("unshare")
    if unshare is None:
        print("skipped the install: no unshare")
        sys.exit(SKIPPED)
    command = [unshare, "--mount", "--pid", "--fork", "--root=" + str(root), "--wd=/game",
               "--mount-proc", "/patch-installer"]
    # The sanitizers' leak check stops the process from another one, which a
    # PID namespace of one process may refuse; leaks are the unit tests' job.
    environment = {"ASAN_OPTIONS": "detect_leaks=0", "PATH": "/"}
    probe = run([unshare, "--mount", "--pid", "--fork", "--root=" + str(root), "--mount-proc",
                 "/patch-installer", "--version"], env=environment)
    if probe.returncode != 0 and "Operation not permitted" in probe.stderr:
        print("skipped the install: unshare is not permitted here: " + probe.stderr.strip())
        sys.exit(SKIPPED)
    if probe.returncode != 0 or "patch-installer" not in probe.stdout:
        fail("the installer does not start in the root: " + probe.stdout + probe.stderr)
    result = run(command, env=environment, stdin=subprocess.DEVNULL)
    if result.returncode != 0:
        fail("the install in the root ended with " + str(result.returncode) + ":\n" +
             result.stdout + result.stderr)


def check_installed(game):
    if (game / "data" / "readme.txt").read_bytes() != NEW_README:
        fail("data/readme.txt was not replaced")
    if (game / "data" / "obsolete.txt").exists():
        fail("data/obsolete.txt was not deleted")
    with zipfile.ZipFile(game / "data" / "sounds.zip") as archive:
        entries = {name: archive.read(name) for name in archive.namelist()}
    if entries != dict(OLD_SOUNDS, **{"new.wav": NEW_WAV}):
        fail("data/sounds.zip holds " + ", ".join(sorted(entries)))
    if (game / "curver.txt").read_text().split()[0] != "14":
        fail("curver.txt was not rewritten")
    staged = [str(path) for path in game.rglob("*.updtmp")]
    if staged:
        fail("staged files left behind: " + ", ".join(staged))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--patchpack", required=True, type=Path)
    parser.add_argument("--stub", required=True, type=Path)
    parser.add_argument("--sanitized", action="store_true")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="self-contained-") as temporary:
        work = Path(temporary)
        installer = make_installer(args.patchpack, args.stub, work)
        check_dependencies(installer, args.sanitized)
        root = work / "root"
        make_game(root / "game")
        make_root(root, installer, args.sanitized)
        install_in_root(root)
        check_installed(root / "game")
    print("the installer ran in a root holding only the C library, the loader and itself")


if __name__ == "__main__":
    main()
