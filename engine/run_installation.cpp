#include "engine/run_installation.h"

#include <memory>
#include <new>
#include <optional>

#include "engine/archive/archive_merge.h"
#include "engine/commit.h"
#include "engine/commit_journal.h"
#include "engine/commit_list.h"
#include "engine/free_space.h"
#include "engine/fs/checked_file_system.h"
#include "engine/install_error.h"
#include "engine/loose_files.h"
#include "engine/own_names.h"
#include "engine/staging_progress.h"
#include "engine/stream_names.h"
#include "engine/version_record.h"
#include "messages/message_table.h"
#include "payload/patch_stream.h"
#include "payload/payload_container.h"

namespace engine {
namespace {

using messages::Message;
using messages::MsgId;

// Not in the message table: the decoder's failure is reported in English.
constexpr char16_t kDecodeErrorText[] = u"LZMA Decompress Error";

// A stream whose records run past its end was built wrong; it is refused
// like one whose end does not match its declared size.
[[noreturn]] void RefuseOverrun() { throw InstallError(InstallError::Unknown); }

// Verifies and decodes the payload into the one block of the patch stream.
DecodedStream DecodeStream(const PayloadLoader& load_payload) {
  const std::optional<std::span<const std::uint8_t>> payload = load_payload();
  if (!payload || payload->data() == nullptr || payload->size() <= payload::kTrailerSize) {
    throw InstallError(InstallError::Unknown);
  }
  if (!payload::CheckPayloadTrailer(*payload)) throw InstallError(Message(MsgId::Corrupted));

  const auto body = payload->first(payload->size() - payload::kTrailerSize);
  const std::optional<std::uint32_t> size = payload::ReadDeclaredSize(body);
  if (!size) throw InstallError(InstallError::Unknown);

  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[*size]);
  if (!block) throw InstallError(InstallError::Unknown);
  if (payload::DecodePayload(body, {block.get(), *size}) != payload::DecodeResult::kOk) {
    throw InstallError(kDecodeErrorText);
  }
  return {std::move(block), *size};
}

// Steps from the payload to the success texts. Everything it holds (the
// stream block, open files, archives) is released by the time an error
// leaves it; only the commit list outlives it, for the clean-up.
void RunPhases(InstallerHost& host, FileSystem& file_system, const StreamLoader& load_stream,
               CommitList& commit_list, std::unique_ptr<FolderLock>& lock) {
  DecodedStream decoded = load_stream();
  payload::PatchStream stream(std::move(decoded.block), decoded.size, RefuseOverrun);
  const auto patch_version = static_cast<std::int32_t>(stream.ReadU32());
  CheckStreamNames(stream);
  // Two runs in one folder would each clear the other's staged names and
  // recover the other's live commit. The second one finds the folder taken
  // and stops here, before it has looked at or changed anything.
  lock = file_system.LockGameFolder(kRunLockPath);
  if (!lock) throw InstallError(InstallError::Unknown);
  // A run killed during its commit may have left it half done; the gate and
  // the merge must see the game wholly as it was before that run.
  RecoverInterruptedCommit(file_system);
  const VersionRecord record = ReadVersionRecord(file_system);
  CheckVersionGate(record, patch_version, host);

  host.SetStatusText(Message(MsgId::Installing));
  const StagedSizes staged_sizes = MeasureStaging(stream, file_system);
  StagingProgress progress(host, StagingParts(staged_sizes));
  CheckFreeSpace(staged_sizes, file_system);
  StageLooseFiles(stream, commit_list, host, progress, file_system);
  progress.EndPart();
  MergeArchives(stream, commit_list, host, progress, file_system);
  FlushStagedFiles(commit_list, file_system);
  BackgroundTask backup_removal = CommitStagedFiles(commit_list, file_system);
  // Every staged copy has become its target: none is left to discard.
  commit_list.clear();
  DeleteObsoleteFiles(stream, file_system);
  WriteVersionRecord(file_system, patch_version, record.tag);
  // Success shows a game with nothing of the run left in it.
  backup_removal.Wait();
  if (!stream.IsFullyConsumed()) throw InstallError(InstallError::Unknown);

  host.SetStatusText(Message(MsgId::Success));
  host.SetButtonText(Message(MsgId::Close));
  host.MarkFinished();
}

void ShowFailure(const InstallError& error, InstallerHost& host) {
  switch (error.kind()) {
    case InstallError::Silent:
      return;
    case InstallError::Unknown:
      host.ShowError(Message(MsgId::UnknownError));
      return;
    case InstallError::Text:
      host.ShowError(error.text());
      return;
  }
}

}  // namespace

int RunInstallation(InstallerHost& host, FileSystem& file_system,
                    const PayloadLoader& load_payload) {
  return RunInstallation(host, file_system,
                         StreamLoader([&] { return DecodeStream(load_payload); }));
}

int RunInstallation(InstallerHost& host, FileSystem& unchecked_file_system,
                    const StreamLoader& load_stream) {
  CheckedFileSystem file_system(unchecked_file_system);
  CommitList commit_list;
  // Held until the clean-up below is done too.
  std::unique_ptr<FolderLock> lock;
  std::optional<InstallError> failure;
  try {
    RunPhases(host, file_system, load_stream, commit_list, lock);
  } catch (const InstallError& error) {
    failure = error;
  } catch (...) {
    // Anything else (memory exhaustion, above all) carries no message of its
    // own; it ends the run like any failure without one, and what it staged
    // goes like anything else staged.
    failure = InstallError(InstallError::Unknown);
  }
  if (failure) {
    ShowFailure(*failure, host);
    DiscardStagedFiles(commit_list, file_system);
    host.CloseDialog();
  }
  return 0;
}

}  // namespace engine
