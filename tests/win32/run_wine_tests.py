#!/usr/bin/env python3
"""The Windows installer, tested as a user would use it, under Wine.

Every case lays out real game folders on disk, builds a real installer (the
stub with a payload written in by `patchpack attach`), starts it
under Wine inside a private Xvfb display through the test driver (driver.cpp,
cross-built by the windows preset), lets the driver read and answer what the
installer shows, and then checks the game folder on disk.

    run_wine_tests.py --stub build/windows/shell/win32/patch-installer.exe \\
                      --patchpack build/test/tools/patchpack/patchpack

Screenshots of the progress dialog, of an error box and of the browse dialog
are left in <work>/screenshots. Exit status 0 when every case passed.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
from pathlib import Path

REPO = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(Path(__file__).resolve().parent))
import check_resources  # noqa: E402
import signing  # noqa: E402

EXTRACTING = "Extracting data..."
INSTALLING = "Patch is being installed. Please wait..."
SUCCESS = "Update installed successfully!"
CANCEL = "Cancel"
CLOSE = "Close"
CORRUPTED = "File is corrupted! Update impossible."
UNKNOWN = "Unknown error"
WRITE_ERROR = ("Write error to a temporary file. Possibly no free space in the disc with the "
               "game folder.")
ENGLISH_ONLY = "This patch is for the English version only!"
ALREADY = "Patch is already installed! Do you want to reinstall this patch?"
NEWER = "Setup found a newer version installed! Continue any way?"
CHOOSE = "Choose the installation path for the patch:"

GAME_KEY = r"HKCU\Software\Quillmarch\Stormhaven"
COMMON_KEY = GAME_KEY + r"\Common"
# The drive under which Wine sees the cases folder: short paths in the
# browse dialog's tree, and the same Windows paths on every machine.
DRIVE = "T:"

# What the process exit code -1 looks like from the parent's side.
EXIT_MINUS_ONE = "4294967295"


class Failure(Exception):
    pass


# --- Game folders and patches ----------------------------------------------

OLD_SOUNDS = {"Hit.wav": b"old hit " * 300, "Old.wav": b"old sound " * 200,
              "Keep.wav": b"kept sound " * 500}
NEW_README = b"Patched readme: version 14.\r\n"
NEW_MAP = bytes(range(256)) * 40
NEW_HIT = b"new hit " * 400
NEW_WAV = b"brand new sound " * 100


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_bytes(data if isinstance(data, bytes) else data.encode())


def make_game(folder, record="13\r\n"):
    """A game folder as the patch expects it, with `curver.txt` = record."""
    write(folder / "sv.exe", b"MZ the game itself")
    write(folder / "data" / "game.ini", "[game]\r\nlanguage=en\r\n")
    write(folder / "data" / "readme.txt", "Old readme.\r\n")
    write(folder / "data" / "obsolete.txt", "Removed by the patch.\r\n")
    with zipfile.ZipFile(folder / "data" / "sounds.zip", "w", zipfile.ZIP_DEFLATED) as archive:
        for name, content in OLD_SOUNDS.items():
            archive.writestr(name, content)
    if record is not None:
        write(folder / "curver.txt", record)
    return folder


def make_patch_source(folder):
    """Version 14: replaces and adds loose files, rewrites the sound archive
    (one entry replaced, one added, one dropped), deletes one file."""
    write(folder / "version.txt", "14\n")
    write(folder / "files" / "data" / "readme.txt", NEW_README)
    write(folder / "files" / "data" / "maps" / "new_map.dat", NEW_MAP)
    write(folder / "archives" / "data" / "sounds.zip" / "hit.wav", NEW_HIT)
    write(folder / "archives" / "data" / "sounds.zip" / "new.wav", NEW_WAV)
    write(folder / "archives" / "data" / "sounds.zip.drop", "old.wav\n")
    write(folder / "delete.txt", "data/obsolete.txt\n")
    return folder


BULK_FILES = 1500


def make_bulk_patch_source(folder):
    """Version 14 with thousands of loose files: staging them takes long
    enough for a press of Cancel to land in the middle of it."""
    write(folder / "version.txt", "14\n")
    for index in range(BULK_FILES):
        content = (f"bulk file {index} " * 200).encode()
        write(folder / "files" / "data" / "bulk" / f"part{index:05}.dat", content)
    write(folder / "files" / "data" / "readme.txt", NEW_README)
    return folder


def snapshot(folder):
    """Every file below folder, by relative path, with its bytes."""
    return {str(path.relative_to(folder)): path.read_bytes()
            for path in sorted(folder.rglob("*")) if path.is_file()}


def zip_entries(path):
    with zipfile.ZipFile(path) as archive:
        return [(info.filename, archive.read(info)) for info in archive.infolist()]


def check_unchanged(folder, before):
    after = snapshot(folder)
    if after != before:
        added = sorted(set(after) - set(before))
        removed = sorted(set(before) - set(after))
        changed = sorted(k for k in set(after) & set(before) if after[k] != before[k])
        raise Failure(f"{folder.name} changed: added {added[:5]}, removed {removed[:5]}, "
                      f"changed {changed[:5]}")


def check_installed(folder, tag=""):
    files = snapshot(folder)
    staged = [name for name in files if name.endswith(".updtmp")]
    if staged:
        raise Failure(f"staged files left behind: {staged[:5]}")
    expect = {
        "curver.txt": ("14\r\n" + tag).encode(),
        "data/readme.txt": NEW_README,
        "data/maps/new_map.dat": NEW_MAP,
    }
    for name, content in expect.items():
        if files.get(name) != content:
            raise Failure(f"{name} reads {files.get(name)!r:.60}, expected {content!r:.60}")
    if "data/obsolete.txt" in files:
        raise Failure("data/obsolete.txt was not deleted")
    entries = zip_entries(folder / "data" / "sounds.zip")
    wanted = [("hit.wav", NEW_HIT), ("new.wav", NEW_WAV), ("keep.wav", OLD_SOUNDS["Keep.wav"])]
    if entries != wanted:
        raise Failure(f"sounds.zip holds {[name for name, _ in entries]}, "
                      f"expected {[name for name, _ in wanted]} with their contents")


def check_no_staged_files(folder):
    staged = [p for p in folder.rglob("*.updtmp")]
    if staged:
        raise Failure(f"staged files left behind: {staged[:5]}")


# --- Wine, the display and the driver ---------------------------------------

class Wine:
    def __init__(self, work, log):
        self.work = work
        self.log = log
        self.cases = work / "cases"
        self.prefix = work / "prefix"
        self.env = dict(os.environ)
        self.env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEDEBUG": "-all",
            # No offers to download Mono or Gecko: nothing here needs them,
            # and their dialogs would wait for an answer forever.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "WINEARCH": "win64",
        })
        self.xvfb = None

    def start_display(self):
        read_end, write_end = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as reader:
            number = reader.readline().strip()
        if not number:
            raise Failure("Xvfb did not start")
        self.env["DISPLAY"] = ":" + number
        self.log(f"display :{number}")

    def start(self):
        self.start_display()
        if not (self.prefix / "system.reg").exists():
            started = time.monotonic()
            self.run(["wineboot", "-i"], timeout=240)
            # Let the server of the first start save the new prefix and end.
            subprocess.run(["wineserver", "-w"], env=self.env, timeout=120)
            self.log(f"new Wine prefix in {time.monotonic() - started:.1f} s")
        # The drive goes in before the server starts: a drive that appears
        # under a running server is not seen alike by every part of Wine.
        self.cases.mkdir(parents=True, exist_ok=True)
        drive = self.prefix / "dosdevices" / DRIVE.lower()
        if drive.is_symlink() or drive.exists():
            drive.unlink()
        drive.symlink_to(self.cases)
        # One server for all cases instead of one per process.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=30)
        # A virtual desktop: with no window manager on the display, Wine
        # would leave top-level windows without their title bars, and the
        # screenshots would not show the boxes' caption.
        self.run(["reg", "add", r"HKCU\Software\Wine\Explorer", "/v", "Desktop", "/d",
                  "Default", "/f"])
        self.run(["reg", "add", r"HKCU\Software\Wine\Explorer\Desktops", "/v", "Default",
                  "/d", "1024x768", "/f"])

    def stop(self):
        subprocess.run(["wineserver", "-k"], env=self.env, timeout=30)
        if self.xvfb:
            self.xvfb.terminate()
            self.xvfb.wait(timeout=10)

    def run(self, command, timeout=60, check=True):
        """Runs a Windows program and returns its output. The
        output goes through a file: Wine's own background processes, started
        by whichever program comes first, inherit the descriptors and would
        hold a pipe open long after the program itself has ended."""
        with tempfile.TemporaryFile("w+") as output:
            process = subprocess.run(["wine"] + command, env=self.env, timeout=timeout,
                                     stdout=output, stderr=subprocess.STDOUT)
            output.seek(0)
            text = output.read()
        if check and process.returncode != 0:
            raise Failure(f"{command[0]} failed ({process.returncode}): {text.strip()}")
        return text

    def windows_path(self, path):
        return DRIVE + "\\" + str(Path(path).relative_to(self.cases)).replace("/", "\\")

    def reset_registry(self):
        self.run(["reg", "delete", r"HKCU\Software\Quillmarch", "/f"], check=False)

    def set_registry(self, key, name, value, kind="REG_SZ"):
        """Wine's reg.exe now and then ends with 1 and prints nothing on a
        loaded machine; the command is repeated before the case counts as
        failed."""
        command = ["reg", "add", key, "/v", name, "/t", kind, "/d", value, "/f"]
        for _ in range(2):
            try:
                self.run(command)
                return
            except Failure:
                time.sleep(1)
        self.run(command)

    def list_folder(self, path):
        """Lists a folder and everything in it from the Windows side."""
        self.run(["cmd", "/c", "dir", "/s", "/b", self.windows_path(path)])

    def screenshot(self, destination):
        subprocess.run(["import", "-window", "root", "-display", self.env["DISPLAY"],
                        str(destination)], check=True, timeout=30)


class Driver:
    def __init__(self, wine, exe, screenshots, verbose):
        self.wine = wine
        self.verbose = verbose
        self.exe = exe
        self.screenshots = screenshots
        self.sync = wine.cases / "sync"

    def run(self, installer, start_dir, steps, timeout=20, hold=None):
        """Runs the installer from start_dir through the driver's steps;
        returns its transcript, raising Failure when a step failed. Under a
        loaded machine Wine now and then refuses to create the process at
        all; nothing has run then, so that start alone is tried again."""
        for attempt in range(1, 4):
            try:
                return self.run_once(installer, start_dir, steps, timeout, hold)
            except Failure as error:
                if "FAIL: cannot start" not in str(error) or attempt == 3:
                    raise
                time.sleep(1)

    def run_once(self, installer, start_dir, steps, timeout, hold=None):
        shutil.rmtree(self.sync, ignore_errors=True)
        self.sync.mkdir(parents=True)
        transcript = self.wine.cases / "driver.log"
        command = ["wine", str(self.exe), "run", "--exe", self.wine.windows_path(installer),
                   "--cwd", self.wine.windows_path(start_dir),
                   "--sync", self.wine.windows_path(self.sync),
                   "--timeout", str(timeout)]
        if hold is not None:
            command += ["--hold", self.wine.windows_path(hold)]
        command += ["--"] + steps
        with open(transcript, "w") as out:
            driver = subprocess.Popen(command, env=self.wine.env, stdout=out,
                                      stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + 120
            while driver.poll() is None:
                for ready in self.sync.glob("*.ready"):
                    self.wine.screenshot(self.screenshots / (ready.stem + ".png"))
                    ready.unlink()
                    (self.sync / (ready.stem + ".done")).touch()
                if time.monotonic() > deadline:
                    driver.kill()
                    raise Failure("the driver did not finish")
                time.sleep(0.05)
        text = transcript.read_text(errors="replace")
        if driver.returncode != 0 or "FAIL" in text:
            raise Failure("driver:\n" + indent(text))
        if self.verbose:
            print(indent(text), end="", flush=True)
        return text


def indent(text):
    return "".join("      " + line + "\n" for line in text.splitlines())


# --- The cases ---------------------------------------------------------------

class Suite:
    def __init__(self, wine, driver, installers, log):
        self.wine = wine
        self.driver = driver
        self.installers = installers
        self.log = log

    def run_browsing(self, installer, start, steps):
        """Runs a case that goes through the browse dialog. Wine's dialog
        often fails to pre-select a folder below a directory made (or made
        anew) since a Windows program last looked into it: its walk down the
        tree stops at that directory without expanding it. On Windows, and
        on the next start under Wine, the selection works. So the case's
        folders are listed first, and a run whose selection did not come is
        started again, up to three times; a selection that never comes still
        fails the case."""
        self.wine.list_folder(start.parent)
        for attempt in range(1, 4):
            try:
                return self.driver.run(installer, start, steps)
            except Failure as error:
                if "waiting for the selection" not in str(error) or attempt == 3:
                    raise
                self.log(f"      Wine did not pre-select the folder (start {attempt}); again")

    def folder(self, case, name):
        path = self.wine.cases / case / name
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir(parents=True)
        return path

    # Installation and the version gate.

    def case_success(self):
        game = make_game(self.folder("success", "game"))
        self.driver.run(self.installers["patch"], game, [
            "expect-status", SUCCESS, "expect-button", CLOSE, "screenshot", "progress-dialog",
            "press-button", "expect-exit", "0"])
        check_installed(game)

    def case_signed_installer_installs(self):
        game = make_game(self.folder("signed", "game"))
        self.driver.run(self.installers["signed"], game, [
            "expect-status", SUCCESS, "expect-button", CLOSE, "press-button", "expect-exit", "0"])
        check_installed(game)

    def case_online_edition_installs_and_keeps_its_tag(self):
        game = make_game(self.folder("online", "game"), record="7\r\nonline")
        self.driver.run(self.installers["patch"], game, [
            "expect-status", SUCCESS, "press-button", "expect-exit", "0"])
        check_installed(game, tag="online")

    def case_reinstall_answered_yes(self):
        game = make_game(self.folder("reinstall-yes", "game"), record="14\r\n")
        self.driver.run(self.installers["patch"], game, [
            "expect-status", EXTRACTING, "expect-error", ALREADY, "expect-buttons", "yes-no",
            "answer", "yes", "expect-status", SUCCESS, "expect-button", CLOSE,
            "press-button", "expect-exit", "0"])
        check_installed(game)

    def case_reinstall_answered_no(self):
        game = make_game(self.folder("reinstall-no", "game"), record="14\r\n")
        before = snapshot(game)
        self.driver.run(self.installers["patch"], game, [
            "expect-error", ALREADY, "answer", "no", "expect-exit", "0"])
        check_unchanged(game, before)

    def case_newer_version_answered_no(self):
        game = make_game(self.folder("newer-no", "game"), record="15\r\n")
        before = snapshot(game)
        self.driver.run(self.installers["patch"], game, [
            "expect-error", NEWER, "expect-buttons", "yes-no", "answer", "no",
            "expect-exit", "0"])
        check_unchanged(game, before)

    def case_other_edition_refused(self):
        game = make_game(self.folder("edition", "game"), record="13\r\nGerman")
        before = snapshot(game)
        self.driver.run(self.installers["patch"], game, [
            "expect-error", ENGLISH_ONLY, "expect-buttons", "ok", "answer", "ok",
            "expect-exit", "0"])
        check_unchanged(game, before)

    def case_cancel_during_staging(self):
        game = make_game(self.folder("cancel", "game"))
        before = snapshot(game)
        self.driver.run(self.installers["bulk"], game, [
            "expect-status", INSTALLING, "press-button", "expect-exit", "0"])
        check_unchanged(game, before)

    # Targets the commit meets in the field.

    def case_held_open_target_fails_before_any_change(self):
        # The running game holds data\readme.txt open without sharing its
        # deletion: the replacing move would refuse it, so the run stops
        # before the first replacement and every file stays old.
        game = make_game(self.folder("held-open", "game"))
        before = snapshot(game)
        self.driver.run(self.installers["patch"], game, [
            "expect-error", UNKNOWN, "answer", "ok", "expect-exit", "0"],
            hold=game / "data" / "readme.txt")
        check_unchanged(game, before)

    def case_read_only_target_is_replaced(self):
        # As copied from a disc: Wine shows a file without write bits as
        # read-only, and the patch owns it.
        game = make_game(self.folder("read-only", "game"))
        (game / "data" / "readme.txt").chmod(0o444)
        self.driver.run(self.installers["patch"], game, [
            "expect-status", SUCCESS, "press-button", "expect-exit", "0"])
        check_installed(game)

    def case_unix_link_on_a_path_changes_nothing(self):
        # Wine shows a Unix symbolic link to a folder as a reparse point by
        # name (though it opens it as the folder behind): the patch's new
        # data\maps\new_map.dat must not land in the folder it points to,
        # and no game file may change.
        game = make_game(self.folder("unix-link", "game"))
        sentinel = self.folder("unix-link", "sentinel")
        write(sentinel / "keep.dat", b"outside the game")
        (game / "data" / "maps").symlink_to(sentinel, target_is_directory=True)
        before = snapshot(game)
        outside = snapshot(sentinel)
        # Staging its new file there fails, as a write to the staged file
        # does.
        self.driver.run(self.installers["patch"], game, [
            "expect-error", WRITE_ERROR, "answer", "ok", "expect-exit", "0"])
        check_unchanged(sentinel, outside)
        check_unchanged(game, before)
        check_no_staged_files(game)

    # Payload failures.

    def case_corrupted_payload(self):
        game = make_game(self.folder("corrupted", "game"))
        before = snapshot(game)
        self.driver.run(self.installers["corrupted"], game, [
            "expect-error", CORRUPTED, "expect-buttons", "ok", "screenshot", "error-box",
            "answer", "ok", "expect-exit", "0"])
        check_unchanged(game, before)

    def case_missing_payload(self):
        game = make_game(self.folder("no-payload", "game"))
        before = snapshot(game)
        self.driver.run(self.installers["stub"], game, [
            "expect-status", EXTRACTING, "expect-button", CANCEL, "expect-error", UNKNOWN,
            "answer", "ok", "expect-exit", "0"])
        check_unchanged(game, before)

    def case_missing_message_table(self):
        game = make_game(self.folder("no-messages", "game"))
        before = snapshot(game)
        self.driver.run(self.installers["no-messages"], game, [
            "expect-exit", EXIT_MINUS_ONE, "expect-no-window"])
        check_unchanged(game, before)

    # Finding the game folder.

    def case_start_directory_wins_over_registry(self):
        game = make_game(self.folder("start-dir", "game"))
        other = make_game(self.folder("start-dir", "other"))
        other_before = snapshot(other)
        self.wine.set_registry(GAME_KEY, "InstallPath",
                               self.wine.windows_path(other / "sv.exe"))
        self.driver.run(self.installers["patch"], game, [
            "expect-status", SUCCESS, "press-button", "expect-exit", "0"])
        check_installed(game)
        check_unchanged(other, other_before)

    def case_install_path_when_start_directory_lacks_game_ini(self):
        start = self.folder("install-path", "start")
        write(start / "sv.exe", b"MZ a lone executable")
        start_before = snapshot(start)
        game = make_game(self.folder("install-path", "game"))
        # Forward slashes: the folder is cut at the last separator of either kind.
        self.wine.set_registry(GAME_KEY, "InstallPath",
                               self.wine.windows_path(game / "sv.exe").replace("\\", "/"))
        self.driver.run(self.installers["patch"], start, [
            "expect-status", SUCCESS, "press-button", "expect-exit", "0"])
        check_installed(game)
        check_unchanged(start, start_before)

    def case_browse_preselects_first_of_a_paths(self):
        start = self.folder("browse-ok", "start")
        game_a = make_game(self.folder("browse-ok", "GameA"))
        game_b = make_game(self.folder("browse-ok", "GameB"))
        b_before = snapshot(game_b)
        # A directory in "InstallPath" is not taken for the game's executable.
        self.wine.set_registry(GAME_KEY, "InstallPath", self.wine.windows_path(game_a))
        self.wine.set_registry(COMMON_KEY, "aPaths", self.wine.windows_path(game_a) + "?" +
                               self.wine.windows_path(game_b))
        self.run_browsing(self.installers["patch"], start, [
            "expect-browse", CHOOSE, "expect-selection", r"browse-ok > GameA",
            "screenshot", "browse-dialog", "browse-ok",
            "expect-status", SUCCESS, "press-button", "expect-exit", "0"])
        check_installed(game_a)
        check_unchanged(game_b, b_before)
        if any(start.iterdir()):
            raise Failure("the start directory was written to")

    def case_browse_cancelled(self):
        start = make_game(self.folder("browse-cancel", "start"))
        (start / "data" / "game.ini").unlink()
        before = snapshot(start)
        # An empty first path: the dialog starts at the start directory.
        self.wine.set_registry(COMMON_KEY, "aPaths", "?" + self.wine.windows_path(start.parent))
        self.run_browsing(self.installers["patch"], start, [
            "expect-browse", CHOOSE, "expect-selection", r"browse-cancel > start",
            "browse-cancel", "expect-exit", "0", "expect-no-dialog", "Patch Installer"])
        check_unchanged(start, before)

    def case_drive_root_refused(self):
        start = self.folder("drive-root", "start")
        game = make_game(self.folder("drive-root", "game"))
        before = snapshot(game)
        # REG_EXPAND_SZ counts as missing, even when it names the game.
        self.wine.set_registry(GAME_KEY, "InstallPath", self.wine.windows_path(game / "sv.exe"),
                               kind="REG_EXPAND_SZ")
        self.wine.set_registry(COMMON_KEY, "aPaths", DRIVE + "\\")
        self.run_browsing(self.installers["patch"], start, [
            "expect-browse", CHOOSE, "expect-selection", f"({DRIVE})", "browse-ok",
            "expect-exit", "0", "expect-no-dialog", "Patch Installer"])
        check_unchanged(game, before)
        if any(start.iterdir()):
            raise Failure("the start directory was written to")

    def all_cases(self):
        return [(name[len("case_"):].replace("_", " "), getattr(self, name))
                for name in Suite.__dict__ if name.startswith("case_")]


# --- Building what the cases need --------------------------------------------

def build_installers(args, wine, log):
    bin_dir = wine.cases / "bin"
    shutil.rmtree(bin_dir, ignore_errors=True)
    bin_dir.mkdir(parents=True)
    sources = args.work / "sources"
    shutil.rmtree(sources, ignore_errors=True)

    def payload(name, make_source):
        path = bin_dir / f"{name}.payload"
        subprocess.run([str(args.patchpack), "build", str(make_source(sources / name)), "-o",
                        str(path)], check=True, stdout=subprocess.DEVNULL, timeout=300)
        return path

    def installer(name, payload_path):
        exe = bin_dir / f"{name}.exe"
        subprocess.run([str(args.patchpack), "attach", str(args.stub), str(payload_path), "-o",
                        str(exe)], check=True, stdout=subprocess.DEVNULL, timeout=300)
        return exe

    installers = {}
    patch = payload("patch", make_patch_source)
    installers["patch"] = installer("patch", patch)
    log(f"installer for the sample patch: {installers['patch'].stat().st_size} bytes "
        f"(payload {patch.stat().st_size} bytes)")
    installers["bulk"] = installer("bulk", payload("bulk", make_bulk_patch_source))

    # The sample installer as a player gets it: signed after attach, with a
    # throwaway certificate.
    certificates = args.work / "certificates"
    shutil.rmtree(certificates, ignore_errors=True)
    certificates.mkdir(parents=True)
    signing.make_certificates(certificates)
    installers["signed"] = bin_dir / "signed.exe"
    for step in (signing.sign(certificates, installers["patch"], installers["signed"]),
                 signing.verify(certificates, installers["signed"])):
        if step.returncode != 0:
            raise Failure("osslsigncode: " + step.stdout + step.stderr)

    # attach refuses a payload whose trailer does not match, so the damage is
    # done afterwards, to the last byte of the trailer inside the installer.
    image = bytearray(installers["patch"].read_bytes())
    resources = check_resources.PeImage(bytes(image))
    resources.resources()
    at = resources.resource_offsets[("PATCHDATA", 101, 0)] + patch.stat().st_size - 1
    image[at] ^= 0xFF
    installers["corrupted"] = bin_dir / "corrupted.exe"
    installers["corrupted"].write_bytes(image)

    installers["stub"] = bin_dir / "stub.exe"
    shutil.copy(args.stub, installers["stub"])

    # The same installer without its message table. Its resource type is a
    # named one, stored once in the resource directory as a counted UTF-16
    # string; renaming it to LOCAM (which sorts where LOCAL did, so lookups of
    # the other names still work) leaves no "LOCAL" resource in the image.
    image = bytearray(installers["patch"].read_bytes())
    local = b"\x05\x00" + "LOCAL".encode("utf-16-le")
    if image.count(local) != 1:
        raise Failure(f"expected one resource type name LOCAL, found {image.count(local)}")
    at = image.index(local) + len(local) - 2
    image[at:at + 2] = "M".encode("utf-16-le")
    installers["no-messages"] = bin_dir / "no-messages.exe"
    installers["no-messages"].write_bytes(image)
    return installers


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--stub", type=Path,
                        default=REPO / "build/windows/shell/win32/patch-installer.exe")
    parser.add_argument("--driver", type=Path,
                        default=REPO / "build/windows/tests/win32/driver.exe")
    parser.add_argument("--patchpack", type=Path,
                        default=REPO / "build/test/tools/patchpack/patchpack")
    parser.add_argument("--work", type=Path, default=REPO / "build/wine-tests")
    parser.add_argument("-v", "--verbose", action="store_true",
                        help="show what the driver saw in every case")
    parser.add_argument("cases", nargs="*", help="run only the cases whose names contain these")
    args = parser.parse_args()
    args.work = args.work.resolve()
    screenshots = args.work / "screenshots"
    screenshots.mkdir(parents=True, exist_ok=True)

    started = time.monotonic()

    def log(message):
        print(f"[{time.monotonic() - started:6.1f}s] {message}", flush=True)

    wine = Wine(args.work, log)
    failures = []
    try:
        wine.start()
        shutil.copy(args.driver, wine.cases / "driver.exe")
        installers = build_installers(args, wine, log)
        suite = Suite(wine, Driver(wine, wine.cases / "driver.exe", screenshots, args.verbose), installers,
                      log)
        for name, case in suite.all_cases():
            if args.cases and not any(word in name for word in args.cases):
                continue
            wine.reset_registry()
            try:
                case()
                log(f"ok    {name}")
            except (Failure, subprocess.SubprocessError) as error:
                failures.append(name)
                log(f"FAIL  {name}: {error}")
    finally:
        wine.stop()
    log(f"screenshots in {screenshots}")
    if failures:
        log(f"{len(failures)} failed: {', '.join(failures)}")
        return 1
    log("all passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
