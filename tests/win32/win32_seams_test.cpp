// The Win32 realisations of the engine's platform seams, run under Wine:
// the file system (sharing, truncation, replace-by-rename, the minizip
// layer) and the payload lookup. A console program that prints each failed
// check and exits with the number of failures; it works in the current
// directory, which the caller makes empty but for a Unix symbolic link to a
// folder beside it (see FoldersOnTheWay).
#include <windows.h>
// In this order: the zip headers use what <windows.h> declares.
#include <minizip/unzip.h>
#include <minizip/zip.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "engine/fs/file_system.h"
#include "shell/win32/embedded_payload.h"

namespace {

int failures = 0;

void Check(bool condition, const char* what, int line) {
  if (condition) return;
  std::printf("FAIL line %d: %s\n", line, what);
  ++failures;
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

std::span<const std::uint8_t> Bytes(const char* text) {
  return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

bool WriteFileWith(engine::FileSystem& fs, const std::string& path, const char* text) {
  auto file = fs.OpenForWriting(path);
  return file && file->Write(Bytes(text)) && file->Close();
}

HANDLE OpenOther(const char* path, DWORD access) {
  return CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

void FilesAndDirectories(engine::FileSystem& fs) {
  CHECK(fs.MakeDirectory("data"));
  CHECK(!fs.MakeDirectory("data"));
  CHECK(!fs.MakeDirectory("missing\\data"));

  CHECK(WriteFileWith(fs, "data\\a.txt", "first contents"));
  CHECK(fs.ReadWholeFile("data\\a.txt") == "first contents");
  // Letter case is the system's business: the stream's spelling is used as is.
  CHECK(fs.ReadWholeFile("DATA\\A.TXT") == "first contents");
  CHECK(WriteFileWith(fs, "data\\a.txt", "short"));
  CHECK(fs.ReadWholeFile("data\\a.txt") == "short");
  CHECK(!fs.ReadWholeFile("data\\missing.txt"));
  CHECK(!fs.ReadWholeFile("data"));
  CHECK(!fs.OpenForWriting("missing\\a.txt"));
  CHECK(fs.FlushToDisk("data\\a.txt"));
  CHECK(!fs.FlushToDisk("data\\missing.txt"));
  CHECK(fs.FlushFolderOf("data\\missing.txt"));
  CHECK(fs.FlushFolderOf("curver.txt"));
  CHECK(!fs.FlushFolderOf("missing\\a.txt"));

  // Another program holding the file open for writing does not stop us.
  HANDLE other = OpenOther("data\\a.txt", GENERIC_READ | GENERIC_WRITE);
  CHECK(other != INVALID_HANDLE_VALUE);
  CHECK(fs.ReadWholeFile("data\\a.txt") == "short");
  CHECK(WriteFileWith(fs, "data\\a.txt", "while shared"));
  CloseHandle(other);
  CHECK(fs.ReadWholeFile("data\\a.txt") == "while shared");

  // A file that we are writing can be read by others meanwhile.
  {
    auto file = fs.OpenForWriting("data\\b.txt");
    CHECK(file && file->Write(Bytes("staged")));
    HANDLE reader = OpenOther("data\\b.txt", GENERIC_READ);
    CHECK(reader != INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    CHECK(file && file->Close());
  }

  CHECK(fs.RenameReplacing("data\\b.txt", "data\\a.txt"));
  CHECK(fs.ReadWholeFile("data\\a.txt") == "staged");
  CHECK(!fs.ReadWholeFile("data\\b.txt"));
  CHECK(fs.RenameReplacing("data\\a.txt", "data\\c.txt"));
  CHECK(!fs.RenameReplacing("data\\a.txt", "data\\c.txt"));

  CHECK(fs.RemoveFile("data\\c.txt"));
  CHECK(!fs.RemoveFile("data\\c.txt"));
  // Never a directory, not even an empty one.
  CHECK(!fs.RemoveFile("data"));
  CHECK(!fs.MakeDirectory("data"));
}

// What the commit needs: a probe that tells a replaceable target from one
// that a rename would fail on, read-only targets replaced, hard links.
void CommitCalls(engine::FileSystem& fs) {
  using engine::TargetState;
  CHECK(fs.MakeDirectory("commit"));
  CHECK(fs.ProbeTarget("commit\\missing.txt") == TargetState::kMissing);
  CHECK(fs.ProbeTarget("commit") == TargetState::kBlocked);

  // A read-only target, as copied from a disc: the attribute comes off.
  CHECK(WriteFileWith(fs, "commit\\ro.txt", "old"));
  CHECK(SetFileAttributesA("commit\\ro.txt", FILE_ATTRIBUTE_READONLY));
  CHECK(fs.ProbeTarget("commit\\ro.txt") == TargetState::kReplaceable);
  CHECK(WriteFileWith(fs, "commit\\ro.txt.updtmp", "new"));
  CHECK(fs.RenameReplacing("commit\\ro.txt.updtmp", "commit\\ro.txt"));
  CHECK(fs.ReadWholeFile("commit\\ro.txt") == "new");
  // A read-only leftover at a staged name is replaced, and removal works.
  CHECK(WriteFileWith(fs, "commit\\left.updtmp", "leftover of an earlier run"));
  CHECK(SetFileAttributesA("commit\\left.updtmp", FILE_ATTRIBUTE_READONLY));
  CHECK(WriteFileWith(fs, "commit\\left.updtmp", "ours"));
  CHECK(fs.ReadWholeFile("commit\\left.updtmp") == "ours");
  CHECK(SetFileAttributesA("commit\\left.updtmp", FILE_ATTRIBUTE_READONLY));
  CHECK(fs.RemoveFile("commit\\left.updtmp"));

  // A file that the running game holds open without FILE_SHARE_DELETE
  // cannot be replaced; the probe says so before anything changes.
  CHECK(WriteFileWith(fs, "commit\\held.txt", "old"));
  HANDLE game = OpenOther("commit\\held.txt", GENERIC_READ);
  CHECK(game != INVALID_HANDLE_VALUE);
  CHECK(fs.ProbeTarget("commit\\held.txt") == TargetState::kBlocked);
  CHECK(WriteFileWith(fs, "commit\\held.txt.updtmp", "new"));
  CHECK(!fs.RenameReplacing("commit\\held.txt.updtmp", "commit\\held.txt"));
  CloseHandle(game);
  CHECK(fs.ProbeTarget("commit\\held.txt") == TargetState::kReplaceable);
  CHECK(fs.ReadWholeFile("commit\\held.txt") == "old");

  // The backup: a second name of the same file, replacing nothing.
  CHECK(fs.LinkFile("commit\\held.txt", "commit\\held.txt.updbak"));
  CHECK(!fs.LinkFile("commit\\held.txt", "commit\\held.txt.updbak"));
  CHECK(fs.RenameReplacing("commit\\held.txt.updtmp", "commit\\held.txt"));
  CHECK(fs.ReadWholeFile("commit\\held.txt") == "new");
  CHECK(fs.ReadWholeFile("commit\\held.txt.updbak") == "old");

  CHECK(fs.FileSize("commit\\held.txt") == 3u);
  CHECK(!fs.FileSize("commit\\missing.txt"));
  // Wine's drive stands on a Linux volume of 4 KiB blocks or more; what
  // matters is that the cluster, not a byte, is the unit.
  const std::optional<engine::VolumeSpace> space = fs.FreeSpace();
  CHECK(space.has_value() && space->unit >= 512 && space->unit % 512 == 0);
}

void ZipLayer(engine::FileSystem& fs) {
  zlib_filefunc64_def functions = fs.ZipFileFunctions();
  CHECK(unzOpen2_64("missing.zip", &functions) == nullptr);

  zipFile zip = zipOpen2_64("game.zip", APPEND_STATUS_CREATE, nullptr, &functions);
  CHECK(zip != nullptr);
  if (zip == nullptr) return;
  // Created afresh and not shared: nobody else may open it meanwhile.
  CHECK(OpenOther("game.zip", GENERIC_READ) == INVALID_HANDLE_VALUE);
  CHECK(zipOpenNewFileInZip64(zip, "entry.txt", nullptr, nullptr, 0, nullptr, 0, nullptr,
                              Z_DEFLATED, 9, 0) == ZIP_OK);
  CHECK(zipWriteInFileInZip(zip, "zipped", 6) == ZIP_OK);
  CHECK(zipCloseFileInZip(zip) == ZIP_OK);
  CHECK(zipClose(zip, nullptr) == ZIP_OK);

  unzFile unz = unzOpen2_64("game.zip", &functions);
  CHECK(unz != nullptr);
  if (unz == nullptr) return;
  // Opened for reading, shared with readers only.
  unzFile second = unzOpen2_64("game.zip", &functions);
  CHECK(second != nullptr);
  if (second != nullptr) unzClose(second);
  CHECK(zipOpen2_64("game.zip", APPEND_STATUS_CREATE, nullptr, &functions) == nullptr);
  CHECK(unzGoToFirstFile(unz) == UNZ_OK);
  char name[257];
  unz_file_info64 info;
  CHECK(unzGetCurrentFileInfo64(unz, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK);
  CHECK(std::strcmp(name, "entry.txt") == 0);
  char contents[16] = {};
  CHECK(unzOpenCurrentFile(unz) == UNZ_OK);
  CHECK(unzReadCurrentFile(unz, contents, sizeof contents) == 6);
  CHECK(std::strcmp(contents, "zipped") == 0);
  CHECK(unzCloseCurrentFile(unz) == UNZ_OK);
  CHECK(unzClose(unz) == UNZ_OK);
}

// A new archive is written on a thread of its own: every write lands where
// and in the order it was made, a fix-up too over bytes still queued; the
// end counts every byte queued, a read sees them all, and a read at the end
// is an end, not a failure.
void ZipLayerWritesBehind(engine::FileSystem& fs) {
  zlib_filefunc64_def f = fs.ZipFileFunctions();
  voidpf file =
      f.zopen64_file(f.opaque, "behind.zip", ZLIB_FILEFUNC_MODE_WRITE | ZLIB_FILEFUNC_MODE_CREATE);
  CHECK(file != nullptr);
  if (file == nullptr) return;
  std::string expected;
  for (int i = 0; i < 12; ++i) {
    const std::string piece(700 * 1000 + i, static_cast<char>('a' + i));
    CHECK(f.zwrite_file(f.opaque, file, piece.data(), piece.size()) == piece.size());
    expected += piece;
  }
  CHECK(f.zseek64_file(f.opaque, file, 5, ZLIB_FILEFUNC_SEEK_SET) == 0);
  CHECK(f.zwrite_file(f.opaque, file, "XYZ", 3) == 3);
  expected.replace(5, 3, "XYZ");
  CHECK(f.zseek64_file(f.opaque, file, 0, ZLIB_FILEFUNC_SEEK_END) == 0);
  CHECK(f.ztell64_file(f.opaque, file) == expected.size());
  CHECK(f.zwrite_file(f.opaque, file, "tail", 4) == 4);
  expected += "tail";
  char back[4] = {};
  CHECK(f.zseek64_file(f.opaque, file, 4, ZLIB_FILEFUNC_SEEK_SET) == 0);
  CHECK(f.zread_file(f.opaque, file, back, 4) == 4 && std::memcmp(back, "aXYZ", 4) == 0);
  CHECK(f.zseek64_file(f.opaque, file, 0, ZLIB_FILEFUNC_SEEK_END) == 0);
  CHECK(f.zread_file(f.opaque, file, back, 4) == 0);
  CHECK(f.zerror_file(f.opaque, file) == 0);
  CHECK(f.zclose_file(f.opaque, file) == 0);

  std::string contents;
  if (FILE* written = std::fopen("behind.zip", "rb")) {
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, written)) > 0;) {
      contents.append(buffer, n);
    }
    std::fclose(written);
  }
  CHECK(contents == expected);
}

// Writes an archive of one entry through the table; true when every call
// succeeded.
bool WriteZip(zlib_filefunc64_def& functions, const char* path, const char* text) {
  zipFile zip = zipOpen2_64(path, APPEND_STATUS_CREATE, nullptr, &functions);
  if (zip == nullptr) return false;
  const bool written = zipOpenNewFileInZip64(zip, "entry.txt", nullptr, nullptr, 0, nullptr, 0,
                                             nullptr, Z_DEFLATED, 9, 0) == ZIP_OK &&
                       zipWriteInFileInZip(zip, text, std::strlen(text)) == ZIP_OK &&
                       zipCloseFileInZip(zip) == ZIP_OK;
  return zipClose(zip, nullptr) == ZIP_OK && written;
}

// The one entry's contents as read back through the table; empty on failure.
std::string ReadZip(zlib_filefunc64_def& functions, const char* path) {
  unzFile unz = unzOpen2_64(path, &functions);
  if (unz == nullptr) return {};
  char contents[64] = {};
  int count = -1;
  if (unzGoToFirstFile(unz) == UNZ_OK && unzOpenCurrentFile(unz) == UNZ_OK) {
    count = unzReadCurrentFile(unz, contents, sizeof contents - 1);
    if (unzCloseCurrentFile(unz) != UNZ_OK) count = -1;
  }
  unzClose(unz);
  return count < 0 ? std::string() : std::string(contents, count);
}

bool IsReparsePoint(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The staged archive is created as every staged file is: a leftover at its
// name is replaced, and a link there is removed, never written through.
void StagedArchiveName(engine::FileSystem& fs) {
  zlib_filefunc64_def functions = fs.ZipFileFunctions();
  CHECK(fs.MakeDirectory("staged"));
  CHECK(WriteFileWith(fs, "staged\\left.zip.updtmp", "leftover of an earlier run, longer"));
  CHECK(SetFileAttributesA("staged\\left.zip.updtmp", FILE_ATTRIBUTE_READONLY));
  CHECK(WriteZip(functions, "staged\\left.zip.updtmp", "fresh"));
  CHECK(ReadZip(functions, "staged\\left.zip.updtmp") == "fresh");

  // A file outside the game folder, and a link to it at the staged name.
  // Wine 8 answers CreateSymbolicLinkA with success but makes nothing.
  CHECK(WriteFileWith(fs, "outside.txt", "not ours"));
  CHECK(fs.MakeDirectory("outside"));
  if (!CreateSymbolicLinkA("staged\\file.zip.updtmp", "..\\outside.txt", 0) ||
      !IsReparsePoint("staged\\file.zip.updtmp")) {
    std::printf("NOTE: no file symbolic link could be made; not checked\n");
  } else {
    CHECK(WriteZip(functions, "staged\\file.zip.updtmp", "staged"));
    CHECK(!IsReparsePoint("staged\\file.zip.updtmp"));
    CHECK(ReadZip(functions, "staged\\file.zip.updtmp") == "staged");
    CHECK(fs.ReadWholeFile("outside.txt") == "not ours");
  }
  if (!CreateSymbolicLinkA("staged\\dir.zip.updtmp", "..\\outside", SYMBOLIC_LINK_FLAG_DIRECTORY) ||
      !IsReparsePoint("staged\\dir.zip.updtmp")) {
    std::printf("NOTE: no directory symbolic link could be made; not checked\n");
  } else {
    CHECK(WriteZip(functions, "staged\\dir.zip.updtmp", "staged"));
    CHECK(!IsReparsePoint("staged\\dir.zip.updtmp"));
    CHECK(ReadZip(functions, "staged\\dir.zip.updtmp") == "staged");
    CHECK(GetFileAttributesA("outside") == FILE_ATTRIBUTE_DIRECTORY);
  }
  // A real directory at the name stays, and the archive is not created.
  CHECK(fs.MakeDirectory("staged\\real.zip.updtmp"));
  CHECK(zipOpen2_64("staged\\real.zip.updtmp", APPEND_STATUS_CREATE, nullptr, &functions) ==
        nullptr);
}

// The seven calls on their own: 64-bit offsets, a failed write seen by the
// error call, a failed seek by its result.
void ZipCalls(engine::FileSystem& fs) {
  zlib_filefunc64_def functions = fs.ZipFileFunctions();
  CHECK(functions.zopen64_file(functions.opaque, "missing.zip",
                               ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING) == nullptr);
  CHECK(WriteFileWith(fs, "calls.bin", "0123456789"));
  voidpf stream = functions.zopen64_file(functions.opaque, "calls.bin",
                                         ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  CHECK(stream != nullptr);
  if (stream == nullptr) return;
  const auto seek = [&](ZPOS64_T offset, int origin) {
    return functions.zseek64_file(functions.opaque, stream, offset, origin);
  };
  const auto tell = [&] { return functions.ztell64_file(functions.opaque, stream); };
  char buffer[4] = {};
  CHECK(seek(3, ZLIB_FILEFUNC_SEEK_SET) == 0);
  CHECK(functions.zread_file(functions.opaque, stream, buffer, 3) == 3);
  CHECK(std::string(buffer) == "345");
  CHECK(tell() == 6u);
  CHECK(seek(static_cast<ZPOS64_T>(-2), ZLIB_FILEFUNC_SEEK_CUR) == 0);
  CHECK(tell() == 4u);
  CHECK(seek(0, ZLIB_FILEFUNC_SEEK_END) == 0);
  CHECK(tell() == 10u);
  CHECK(functions.zread_file(functions.opaque, stream, buffer, 3) == 0);
  const ZPOS64_T beyond_4gib = (ZPOS64_T{5} << 30) + 7;
  CHECK(seek(beyond_4gib, ZLIB_FILEFUNC_SEEK_SET) == 0);
  CHECK(tell() == beyond_4gib);
  CHECK(seek(0, 7) == -1);
  CHECK(seek(static_cast<ZPOS64_T>(-20), ZLIB_FILEFUNC_SEEK_END) == -1);
  CHECK(functions.zerror_file(functions.opaque, stream) == 0);
  // Opened for reading only, so the write fails.
  CHECK(functions.zwrite_file(functions.opaque, stream, "x", 1) == 0);
  CHECK(functions.zerror_file(functions.opaque, stream) != 0);
  CHECK(functions.zclose_file(functions.opaque, stream) == 0);
  CHECK(fs.ReadWholeFile("calls.bin") == "0123456789");
}

// One installer at a time: a second lock on the folder is refused while the
// first is held, and the lock file goes with the first.
void FolderLock(engine::FileSystem& fs) {
  {
    std::unique_ptr<engine::FolderLock> first = fs.LockGameFolder("updrun.lock");
    CHECK(first != nullptr);
    CHECK(fs.LockGameFolder("updrun.lock") == nullptr);
    CHECK(fs.Exists("updrun.lock"));
  }
  CHECK(!fs.Exists("updrun.lock"));
  std::unique_ptr<engine::FolderLock> again = fs.LockGameFolder("updrun.lock");
  CHECK(again != nullptr);
  again.reset();
  CHECK(fs.MakeDirectory("locked"));
  CHECK(fs.LockGameFolder("locked") == nullptr);
}

bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The reparse buffer of a mount point (a junction), as FSCTL_SET_REPARSE_POINT
// takes it: the target's NT path and its printed form, each ended by a 0.
struct MountPointBuffer {
  DWORD tag;
  WORD data_length;
  WORD reserved;
  WORD substitute_offset;
  WORD substitute_length;
  WORD print_offset;
  WORD print_length;
  wchar_t path[2 * MAX_PATH + 8];
};

// Makes `junction` a mount point to `target`; false with Wine's answer in
// `answer` when it cannot.
bool MakeJunction(const char* junction, const char* target, std::string& answer) {
  wchar_t full[MAX_PATH];
  std::wstring wide_target(target, target + std::strlen(target));
  if (GetFullPathNameW(wide_target.c_str(), MAX_PATH, full, nullptr) == 0) {
    answer = "GetFullPathNameW failed";
    return false;
  }
  const std::wstring substitute = std::wstring(L"\\??\\") + full;
  const std::wstring print = full;
  MountPointBuffer buffer{};
  buffer.tag = IO_REPARSE_TAG_MOUNT_POINT;
  buffer.substitute_length = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
  buffer.print_offset = static_cast<WORD>(buffer.substitute_length + sizeof(wchar_t));
  buffer.print_length = static_cast<WORD>(print.size() * sizeof(wchar_t));
  std::memcpy(buffer.path, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(buffer.path + substitute.size() + 1, print.c_str(),
              (print.size() + 1) * sizeof(wchar_t));
  buffer.data_length = static_cast<WORD>(4 * sizeof(WORD) + buffer.print_offset +
                                         buffer.print_length + sizeof(wchar_t));
  if (!CreateDirectoryA(junction, nullptr)) {
    answer = "CreateDirectoryA failed";
    return false;
  }
  HANDLE handle = CreateFileA(junction, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  DWORD returned = 0;
  const bool made = handle != INVALID_HANDLE_VALUE &&
                    DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &buffer,
                                    8 + buffer.data_length, nullptr, 0, &returned, nullptr);
  const DWORD error = GetLastError();
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!made) {
    answer = "FSCTL_SET_REPARSE_POINT failed with error " + std::to_string(error);
    RemoveDirectoryA(junction);
    return false;
  }
  if (!IsReparsePoint(junction)) {
    answer = "FSCTL_SET_REPARSE_POINT succeeded but the folder shows no reparse attribute";
    return false;
  }
  return true;
}

// The names in a folder, sorted by the system's listing order, and the
// contents of its one expected file: what a sentinel must keep.
std::string Listing(const char* folder) {
  std::string names;
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((std::string(folder) + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return "unlistable";
  do {
    names += entry.cFileName;
    names += '|';
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return names;
}

// Every call of the seam through `linked`, a folder that leads elsewhere:
// each must fail, and the folder it leads to must not change.
void EveryCallRefusedThrough(engine::FileSystem& fs, const std::string& linked,
                             const char* sentinel) {
  using engine::TargetState;
  const std::string before = Listing(sentinel);
  const std::string keep = linked + "\\keep.txt";
  const std::string fresh = linked + "\\fresh.txt";
  CHECK(!fs.MakeDirectory(linked + "\\made"));
  CHECK(!fs.OpenForWriting(fresh));
  CHECK(!fs.OpenForWriting(keep));
  CHECK(!fs.ReadWholeFile(keep));
  CHECK(!fs.Exists(keep));
  CHECK(!fs.FileSize(keep));
  CHECK(fs.ProbeTarget(keep) == TargetState::kBlocked);
  CHECK(fs.ProbeTarget(linked + "\\deeper\\missing.txt") == TargetState::kBlocked);
  CHECK(!fs.FlushToDisk(keep));
  CHECK(!fs.FlushFolderOf(keep));
  CHECK(!fs.RemoveFile(keep));
  CHECK(WriteFileWith(fs, "walk\\real\\ours.txt", "ours"));
  CHECK(!fs.LinkFile(keep, "walk\\real\\keep.updbak"));
  CHECK(!fs.LinkFile("walk\\real\\ours.txt", keep + ".updbak"));
  CHECK(!fs.RenameReplacing("walk\\real\\ours.txt", keep));
  CHECK(!fs.RenameReplacing(keep, "walk\\real\\stolen.txt"));
  CHECK(!fs.LockGameFolder(linked + "\\updrun.lock"));
  zlib_filefunc64_def functions = fs.ZipFileFunctions();
  CHECK(unzOpen2_64(keep.c_str(), &functions) == nullptr);
  CHECK(zipOpen2_64((linked + "\\new.zip").c_str(), APPEND_STATUS_CREATE, nullptr, &functions) ==
        nullptr);
  CHECK(fs.ReadWholeFile("walk\\real\\ours.txt") == "ours");
  CHECK(!fs.Exists("walk\\real\\stolen.txt"));
  CHECK(Listing(sentinel) == before);
  HANDLE kept = OpenOther((std::string(sentinel) + "\\keep.txt").c_str(), GENERIC_READ);
  char contents[16] = {};
  DWORD count = 0;
  CHECK(kept != INVALID_HANDLE_VALUE &&
        ReadFile(kept, contents, sizeof contents, &count, nullptr) &&
        std::string(contents, count) == "sentinel");
  if (kept != INVALID_HANDLE_VALUE) CloseHandle(kept);
}

// The folders on the way to a path: real folders are walked, and held while
// a file in them is open; a file where a folder should be, a path out of the
// game folder, and a junction or link on the way are refused.
void FoldersOnTheWay(engine::FileSystem& fs) {
  using engine::TargetState;
  CHECK(fs.MakeDirectory("sentinel"));
  CHECK(WriteFileWith(fs, "sentinel\\keep.txt", "sentinel"));
  CHECK(fs.MakeDirectory("walk"));
  CHECK(fs.MakeDirectory("walk\\real"));
  CHECK(fs.MakeDirectory("walk/real/deep"));
  CHECK(WriteFileWith(fs, "walk/real/deep\\a.txt", "plain"));
  CHECK(fs.ReadWholeFile("walk\\real\\deep\\a.txt") == "plain");
  CHECK(fs.ProbeTarget("walk\\new\\a.txt") == TargetState::kMissing);
  CHECK(!fs.OpenForWriting("walk\\real\\deep\\a.txt\\b.txt"));
  CHECK(fs.ProbeTarget("walk\\real\\deep\\a.txt\\b.txt") == TargetState::kBlocked);
  CHECK(!fs.ReadWholeFile("walk\\..\\sentinel\\keep.txt"));
  CHECK(!fs.OpenForWriting("..\\seams-outside.txt"));
  CHECK(!fs.ReadWholeFile("C:\\windows\\win.ini"));

  // While a file is being written, or an archive read, no folder on its way
  // can be moved away (and a junction put in its place). Wine does not hold
  // a folder's sharing against a rename, so only Windows can show it.
  if (RunsUnderWine()) {
    std::printf(
        "NOTE: Wine renames a folder that is held open without FILE_SHARE_DELETE; "
        "the hold is not checked\n");
  } else {
    {
      auto file = fs.OpenForWriting("walk\\real\\deep\\held.txt");
      CHECK(file != nullptr);
      CHECK(!MoveFileA("walk\\real", "walk\\moved"));
      CHECK(!MoveFileA("walk\\real\\deep", "walk\\real\\moved"));
      CHECK(file && file->Close());
    }
    zlib_filefunc64_def functions = fs.ZipFileFunctions();
    CHECK(WriteZip(functions, "walk\\real\\deep\\held.zip", "zipped"));
    unzFile unz = unzOpen2_64("walk\\real\\deep\\held.zip", &functions);
    CHECK(unz != nullptr);
    CHECK(!MoveFileA("walk\\real", "walk\\moved"));
    if (unz != nullptr) unzClose(unz);
  }
  // Let go once the call has finished.
  CHECK(WriteFileWith(fs, "walk\\real\\deep\\held.txt", "held"));
  CHECK(MoveFileA("walk\\real\\deep", "walk\\real\\moved"));
  CHECK(fs.ReadWholeFile("walk\\real\\moved\\a.txt") == "plain");

  std::string answer;
  if (MakeJunction("walk\\junction", "sentinel", answer)) {
    std::printf("NOTE: Wine made a junction; every call through it is checked\n");
    EveryCallRefusedThrough(fs, "walk\\junction", "sentinel");
  } else {
    std::printf("NOTE: no junction could be made: %s\n", answer.c_str());
  }
  const bool linked =
      CreateSymbolicLinkA("walk\\dirlink", "..\\sentinel", SYMBOLIC_LINK_FLAG_DIRECTORY);
  const DWORD link_error = linked ? ERROR_SUCCESS : GetLastError();
  if (linked && IsReparsePoint("walk\\dirlink")) {
    std::printf("NOTE: Wine made a directory symbolic link; every call through it is checked\n");
    EveryCallRefusedThrough(fs, "walk\\dirlink", "sentinel");
  } else {
    std::printf(
        "NOTE: no directory symbolic link could be made: CreateSymbolicLinkA answered %s "
        "(error %lu), attributes at the name %#lx\n",
        linked ? "success" : "failure", link_error, GetFileAttributesA("walk\\dirlink"));
  }

  // scripts/test-windows.sh puts a Unix symbolic link, "unixlink", to a
  // folder beside the test's folder holding keep.txt: what does a program
  // see of it?
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA("unixlink", &entry);
  if (find == INVALID_HANDLE_VALUE) {
    std::printf("NOTE: no Unix symbolic link \"unixlink\" was planted\n");
    return;
  }
  FindClose(find);
  const bool reparse = (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  // The tag as the link's own handle gives it, and the attributes of that
  // handle: is the link opened as itself?
  FILE_ATTRIBUTE_TAG_INFO tag{};
  HANDLE link = CreateFileA("unixlink", FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING,
                            FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  const bool tagged = link != INVALID_HANDLE_VALUE &&
                      GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof tag);
  if (link != INVALID_HANDLE_VALUE) CloseHandle(link);
  std::printf(
      "NOTE: a Unix symbolic link to a folder shows attributes %#lx by name, reparse tag "
      "%#lx in its listing; opened as itself, attributes %#lx and tag %#lx%s\n",
      entry.dwFileAttributes, reparse ? entry.dwReserved0 : 0ul, tag.FileAttributes, tag.ReparseTag,
      tagged ? "" : " (not answered)");
  if (reparse) {
    EveryCallRefusedThrough(fs, "unixlink", "..\\seams-sentinel");
  } else {
    std::printf("NOTE: so it is walked as a plain folder; Windows cannot tell it\n");
  }
}

void Payload() {
  // win32_seams_test.rc links 24 bytes, a 0 among them, as "PATCHDATA" 101.
  const auto payload = shell::win32::FindEmbeddedPayload();
  CHECK(payload.has_value());
  if (!payload) return;
  const std::string expected("seams test payload\0bytes", 24);
  CHECK(std::string(payload->begin(), payload->end()) == expected);
}

}  // namespace

int main() {
  engine::FileSystem& fs = engine::NativeFileSystem();
  CHECK(&fs == &engine::NativeFileSystem());
  FilesAndDirectories(fs);
  CommitCalls(fs);
  ZipLayer(fs);
  ZipLayerWritesBehind(fs);
  StagedArchiveName(fs);
  ZipCalls(fs);
  FolderLock(fs);
  FoldersOnTheWay(fs);
  Payload();
  std::printf("%s: %d failed checks\n", failures == 0 ? "OK" : "FAILED", failures);
  return failures;
}
