#include "engine/stream_names.h"

#include <set>
#include <string>

#include "engine/game_path.h"
#include "engine/install_error.h"

namespace engine {
namespace {

std::string KeyOrRefuse(const std::string& path) {
  std::optional<std::string> key = GamePathKey(path);
  if (!key) throw InstallError(InstallError::Unknown);
  return *std::move(key);
}

void AddTarget(const std::string& path, std::set<std::string>& targets) {
  if (!targets.insert(KeyOrRefuse(path)).second) throw InstallError(InstallError::Unknown);
}

// Skips a list of (name, size, bytes) records through its terminator.
void SkipContents(payload::PatchStream& cursor) {
  while (!cursor.ReadName().empty()) cursor.TakeBytes(cursor.ReadU32());
}

}  // namespace

void CheckStreamNames(const payload::PatchStream& stream) {
  payload::PatchStream cursor = stream.LookAhead();
  std::set<std::string> targets;
  for (std::string target = cursor.ReadName(); !target.empty(); target = cursor.ReadName()) {
    AddTarget(target, targets);
    cursor.TakeBytes(cursor.ReadU32());
  }
  for (std::string archive = cursor.ReadName(); !archive.empty(); archive = cursor.ReadName()) {
    AddTarget(archive, targets);
    SkipContents(cursor);
    while (!cursor.ReadName().empty()) {
    }
  }
  // A deletion may name a target (it then goes after the commit), or a
  // file twice; neither loses anything.
  for (std::string path = cursor.ReadName(); !path.empty(); path = cursor.ReadName()) {
    KeyOrRefuse(path);
  }
}

}  // namespace engine
