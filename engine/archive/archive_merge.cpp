#include "engine/archive/archive_merge.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "base/ascii.h"
#include "engine/archive/deflate_ahead.h"
#include "engine/archive/deflate_stream.h"
#include "engine/archive/empty_zip.h"
#include "engine/archive/layer_stream.h"
#include "engine/archive/skip_list.h"
#include "engine/archive/stored_entry.h"
#include "engine/archive/zip64_end_record.h"
#include "engine/archive/zip_handles.h"
#include "engine/archive/zip_records.h"
#include "engine/fs/write_gathering_layer.h"
#include "engine/install_error.h"
#include "engine/name_limits.h"
#include "engine/write_error.h"

namespace engine {
namespace {

// Surviving entries and deflated new ones move through one buffer of this size, reused for every
// entry of an archive, so memory does not grow with the largest entry. As large as the
// write-gathering buffer (a mebibyte; a page in the fuzz build), which each chunk then fills once.
constexpr std::size_t kCopyChunkSize = WriteGatheringLayer::kBufferSize;

// Sizes from here on need a Zip64 record; below it the 32-bit fields serve,
// and minizip must be told before the entry is opened.
constexpr ZPOS64_T kZip64Threshold = 0xFFFFFFFF;

// From this many entries on, the count of the end record reads 0xFFFF and
// the real one must be in a Zip64 end record.
constexpr std::uint64_t kZip64EntryCount = 0xFFFF;

// Bits of the general-purpose flag.
constexpr uLong kEncryptedFlag = 0x0001;
constexpr uLong kUtf8NameFlag = 0x0800;

// minizip's own "version made by" (MS-DOS), as its simpler open calls use.
constexpr uLong kVersionMadeBy = 0;

[[noreturn]] void ThrowWriteError() { throw WriteError(); }

// An old archive whose entries cannot all be read is refused outright: a
// staged archive missing entries must never be committed.
[[noreturn]] void ThrowUnreadable() { throw InstallError(InstallError::Unknown); }

void CheckCancel(InstallerHost& host) {
  if (host.IsCancelRequested()) throw InstallError(InstallError::Silent);
}

int NeedsZip64(ZPOS64_T compressed_size, ZPOS64_T uncompressed_size) {
  return compressed_size >= kZip64Threshold || uncompressed_size >= kZip64Threshold ? 1 : 0;
}

// A new entry of the patch: its name, and its content in the stream.
struct NewEntry {
  std::string name;
  std::span<const std::uint8_t> content;
};

std::optional<NewEntry> ReadNewEntry(payload::PatchStream& stream) {
  std::string name = stream.ReadName();
  if (name.empty()) return std::nullopt;
  const std::uint32_t size = stream.ReadU32();
  return NewEntry{std::move(name), stream.TakeBytes(size)};
}

// Entries smaller than this deflate in less time than a hand-over to the
// second thread takes.
constexpr std::size_t kWorthDeflatingAhead = std::size_t{16} << 10;

// New entries are deflated as minizip itself would at level 9 (raw deflate,
// its window, memory level and strategy, all input at once, then the
// finish) and handed to it in raw mode with the CRC-32 and size. minizip's
// own deflate would copy the compressed bytes once more and mark the entry
// as text when zlib guesses that it is, where every entry written here has
// internal attributes 0. The merge deflates one entry itself while
// `ahead` deflates the next on the second core; the output moves through
// bounded buffers, so the memory does not grow with the size of an entry.
class NewEntryWriter {
 public:
  NewEntryWriter(zipFile staged, InstallerHost& host, std::span<std::uint8_t> buffer)
      : staged_(staged), host_(host), buffer_(buffer) {}

  // Writes `entry`, and `next` too when it is given, deflated meanwhile on
  // the second thread.
  void Write(const NewEntry& entry, const NewEntry* next) {
    if (next != nullptr) {
      if (!ahead_) ahead_.emplace();
      ahead_->Start(next->content);
    }
    CheckCancel(host_);
    WriteHere(entry);
    if (next != nullptr) {
      CheckCancel(host_);
      WriteDeflatedAhead(*next);
    }
  }

 private:
  void Open(const NewEntry& entry) {
    // Deflate can grow incompressible data slightly; zlib's bound says when
    // the result might reach the Zip64 threshold.
    const int zip64 =
        NeedsZip64(compressBound(static_cast<uLong>(entry.content.size())), entry.content.size());
    if (zipOpenNewFileInZip4_64(staged_, entry.name.c_str(), nullptr, nullptr, 0, nullptr, 0,
                                nullptr, Z_DEFLATED, 9, 1, -MAX_WBITS, DEF_MEM_LEVEL,
                                Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, 0,
                                zip64) != ZIP_OK) {
      ThrowWriteError();
    }
  }

  void Close(const NewEntry& entry, uLong crc) {
    if (zipCloseFileInZipRaw64(staged_, entry.content.size(), crc) != ZIP_OK) ThrowWriteError();
  }

  void WriteHere(const NewEntry& entry) {
    Open(entry);
    deflate_.Reset();
    deflate_->next_in = const_cast<Bytef*>(entry.content.data());
    deflate_->avail_in = static_cast<uInt>(entry.content.size());
    for (int flush = Z_NO_FLUSH;;) {
      deflate_->next_out = buffer_.data();
      deflate_->avail_out = static_cast<uInt>(buffer_.size());
      const int status = ::deflate(deflate_.get(), flush);
      if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) ThrowWriteError();
      const auto produced = static_cast<unsigned>(buffer_.size() - deflate_->avail_out);
      if (produced > 0 && zipWriteInFileInZip(staged_, buffer_.data(), produced) != ZIP_OK) {
        ThrowWriteError();
      }
      if (status == Z_STREAM_END) break;
      if (deflate_->avail_in == 0) flush = Z_FINISH;
      // A full buffer means a large entry: every further one is a check point.
      if (produced == buffer_.size()) CheckCancel(host_);
    }
    Close(entry, crc32_z(0, entry.content.data(), entry.content.size()));
  }

  void WriteDeflatedAhead(const NewEntry& entry) {
    Open(entry);
    bool first = true;
    const std::optional<uLong> crc = ahead_->Finish([&](std::span<const std::uint8_t> chunk) {
      // As above: a large entry is checked for a cancel at every chunk.
      if (!first) CheckCancel(host_);
      first = false;
      if (!chunk.empty() && zipWriteInFileInZip(staged_, chunk.data(),
                                                static_cast<unsigned>(chunk.size())) != ZIP_OK) {
        ThrowWriteError();
      }
    });
    if (!crc) ThrowWriteError();
    Close(entry, *crc);
  }

  zipFile staged_;
  InstallerHost& host_;
  std::span<std::uint8_t> buffer_;
  DeflateStream deflate_;
  // Started with the first entry worth it.
  std::optional<DeflateAhead> ahead_;
};

// Returns the number of entries written.
std::uint64_t WriteNewEntries(payload::PatchStream& stream, zipFile staged, InstallerHost& host,
                              StagingProgress& progress, SkipList& skip_list,
                              std::span<std::uint8_t> buffer) {
  NewEntryWriter writer(staged, host, buffer);
  std::uint64_t written = 0;
  const auto written_one = [&](NewEntry& entry) {
    progress.Advance(entry.content.size());
    skip_list.Add(std::move(entry.name));
    ++written;
  };
  for (std::optional<NewEntry> entry = ReadNewEntry(stream); entry;) {
    std::optional<NewEntry> next = ReadNewEntry(stream);
    if (next && next->content.size() >= kWorthDeflatingAhead) {
      writer.Write(*entry, &*next);
      written_one(*entry);
      written_one(*next);
      entry = ReadNewEntry(stream);
    } else {
      writer.Write(*entry, nullptr);
      written_one(*entry);
      entry = std::move(next);
    }
  }
  return written;
}

void ReadDropNames(payload::PatchStream& stream, SkipList& skip_list) {
  for (std::string name = stream.ReadName(); !name.empty(); name = stream.ReadName()) {
    skip_list.Add(std::move(name));
  }
}

// The deflate level whose option bits minizip's writer sets, from the bits
// of an old entry, as minizip's reader reports it: so the copy gets the same
// bits.
int LevelFromOptionBits(uLong flag) {
  switch (flag & 0x0006) {
    case 0x0006:
      return 1;
    case 0x0004:
      return 2;
    case 0x0002:
      return 9;
    default:
      return Z_DEFAULT_COMPRESSION;
  }
}

// Copies the current old entry without decompressing it: its stored bytes,
// method, compression-option bits, CRC-32, sizes and DOS date and time. The
// stored bytes are located through `directory` and `reader`, two more
// streams on the old archive, and read through `reader`, rather than by
// minizip's raw read: that one copies byte
// by byte and checksums what it need not, several times slower than the
// disk, and cannot find Zip64 entries on 64-bit Linux (see stored_entry.h).
void CopyEntryRaw(LayerStream& directory, LayerStream& reader, std::uint64_t archive_start,
                  std::uint64_t central_offset, zipFile staged, const std::string& name,
                  const unz_file_info64& info, InstallerHost& host,
                  std::span<std::uint8_t> buffer) {
  // minizip writes only these two methods; the failure is the writer's.
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) ThrowWriteError();
  // A raw copy cannot carry encryption over: the bytes would be unreadable.
  if ((info.flag & kEncryptedFlag) != 0) ThrowUnreadable();

  const std::optional<StoredEntry> stored =
      LocateStoredEntry(directory, reader, archive_start, central_offset);
  if (!stored || !reader.Seek(stored->data_offset, ZLIB_FILEFUNC_SEEK_SET)) ThrowUnreadable();

  // A date of 0 must be passed as no record at all: minizip would otherwise
  // take the zero as "use the broken-down date" and write 1980-00-00.
  zip_fileinfo metadata{};
  metadata.dosDate = info.dosDate;
  const zip_fileinfo* metadata_or_none = info.dosDate != 0 ? &metadata : nullptr;
  // The name's bytes are kept, so is the bit that says they are UTF-8.
  if (zipOpenNewFileInZip4_64(
          staged, name.c_str(), metadata_or_none, nullptr, 0, nullptr, 0, nullptr,
          static_cast<int>(info.compression_method), LevelFromOptionBits(info.flag), 1, -MAX_WBITS,
          DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kVersionMadeBy, info.flag & kUtf8NameFlag,
          NeedsZip64(stored->compressed_size, stored->uncompressed_size)) != ZIP_OK) {
    ThrowWriteError();
  }

  // Each buffer of a large entry after the first is a check point, so that
  // a cancel is seen within one buffer's copy.
  for (std::uint64_t left = stored->compressed_size; left > 0;) {
    if (left != stored->compressed_size) CheckCancel(host);
    const auto chunk = static_cast<unsigned>(std::min<std::uint64_t>(left, buffer.size()));
    if (!reader.Read(buffer.data(), chunk)) ThrowUnreadable();
    if (zipWriteInFileInZip(staged, buffer.data(), chunk) != ZIP_OK) ThrowWriteError();
    left -= chunk;
  }
  if (zipCloseFileInZipRaw64(staged, stored->uncompressed_size, info.crc) != ZIP_OK) {
    ThrowWriteError();
  }
}

// Walks the old archive in central-directory order, copying every entry that
// the skip list does not name. Returns the number of entries copied.
std::uint64_t CopySurvivingEntries(unzFile old_archive, const zlib_filefunc64_def& file_functions,
                                   const std::string& archive_path, zipFile staged,
                                   const SkipList& skip_list, InstallerHost& host,
                                   StagingProgress& progress, std::span<std::uint8_t> buffer) {
  LayerStream reader(file_functions, archive_path,
                     ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  // The central records are read through a stream of their own, so that
  // neither stream's read window moves back and forth between the directory
  // and the entries.
  LayerStream directory(file_functions, archive_path,
                        ZLIB_FILEFUNC_MODE_READ | ZLIB_FILEFUNC_MODE_EXISTING);
  if (!reader.is_open() || !directory.is_open()) ThrowUnreadable();
  unz_global_info64 global{};
  if (unzGetGlobalInfo64(old_archive, &global) != UNZ_OK) ThrowUnreadable();
  // The offsets that minizip reports count from the start of the zip, which
  // need not be the start of the file.
  const std::optional<std::uint64_t> archive_start = FindArchiveStart(reader);
  if (!archive_start) ThrowUnreadable();

  std::uint64_t visited = 0;
  std::uint64_t copied = 0;
  // Where the record after the current entry's central record begins.
  std::uint64_t next_record = 0;
  for (int status = unzGoToFirstFile(old_archive); status == UNZ_OK;
       status = unzGoToNextFile(old_archive)) {
    CheckCancel(host);
    ++visited;
    const std::uint64_t central_offset = unzGetOffset64(old_archive);
    unz_file_info64 info{};
    char name_buffer[kMaxEntryNameLength + 1];
    if (unzGetCurrentFileInfo64(old_archive, &info, name_buffer, sizeof name_buffer, nullptr, 0,
                                nullptr, 0) != UNZ_OK ||
        info.size_filename > kMaxEntryNameLength) {
      ThrowUnreadable();
    }
    next_record = *archive_start + central_offset + zip_records::kCentralSize + info.size_filename +
                  info.size_file_extra + info.size_file_comment;
    // A name with a 0 byte in it cannot be written again as it is.
    std::string name(name_buffer, info.size_filename);
    if (name.find('\0') != std::string::npos) ThrowUnreadable();
    name = base::ToLowerAscii(name);
    if (skip_list.Contains(name)) continue;
    CopyEntryRaw(directory, reader, *archive_start, central_offset, staged, name, info, host,
                 buffer);
    progress.Advance(info.compressed_size);
    ++copied;
  }

  // Neither the way minizip ends the walk nor the count of the end record
  // tells that every entry was seen: minizip stops with an error where the
  // count reads 0xFFFF, and counts that old writers cut to 16 bits end the
  // walk early as if all was well. The walk is complete when the record
  // after the last entry ends the central directory.
  const bool complete =
      visited == 0 ? global.number_entry == 0 : IsCentralDirectoryEnd(directory, next_record);
  if (!complete) ThrowUnreadable();
  return copied;
}

}  // namespace

void ArchiveMerge(payload::PatchStream& stream, const std::string& archive_path,
                  CommitList& commit_list, InstallerHost& host, StagingProgress& progress,
                  FileSystem& file_system) {
  const std::string staged_path = StagedPath(archive_path);
  commit_list.push_back(archive_path);

  zlib_filefunc64_def file_functions = file_system.ZipFileFunctions();
  // Declared before the archives read and written through it, which it must
  // outlive.
  WriteGatheringLayer layer(file_functions);
  zlib_filefunc64_def layer_functions = layer.functions();
  UnzipHandle old_archive(unzOpen2_64(archive_path.c_str(), &layer_functions));
  // An archive that minizip cannot open may still be a valid one without
  // entries, which simply has nothing to copy.
  if (!old_archive && !IsZipWithoutEntries(file_functions, archive_path)) {
    throw InstallError(InstallError::Unknown);
  }
  ZipHandle staged(
      zipOpen2_64(staged_path.c_str(), APPEND_STATUS_CREATE, nullptr, &layer_functions));
  if (!staged) ThrowWriteError();

  // Not zeroed: every byte is written before it is read, and clearing a
  // mebibyte per archive is most of the cost of merging a small one.
  const auto storage = std::make_unique_for_overwrite<std::uint8_t[]>(kCopyChunkSize);
  const std::span<std::uint8_t> buffer(storage.get(), kCopyChunkSize);
  SkipList skip_list;
  std::uint64_t entry_count =
      WriteNewEntries(stream, staged.get(), host, progress, skip_list, buffer);
  ReadDropNames(stream, skip_list);
  skip_list.Sort();
  if (old_archive) {
    entry_count += CopySurvivingEntries(old_archive.get(), layer_functions, archive_path,
                                        staged.get(), skip_list, host, progress, buffer);
  }

  old_archive.reset();
  if (zipClose(staged.release(), nullptr) != ZIP_OK) ThrowWriteError();
  if (entry_count >= kZip64EntryCount &&
      !CompleteZip64End(file_functions, staged_path, entry_count)) {
    ThrowWriteError();
  }
}

void MergeArchives(payload::PatchStream& stream, CommitList& commit_list, InstallerHost& host,
                   StagingProgress& progress, FileSystem& file_system) {
  for (std::string path = stream.ReadName(); !path.empty(); path = stream.ReadName()) {
    ArchiveMerge(stream, path, commit_list, host, progress, file_system);
    progress.EndPart();
  }
}

}  // namespace engine
