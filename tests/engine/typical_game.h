// The typical patch of the engine's end-to-end tests and the game it is made
// for.
#pragma once

#include "installation_test.h"
#include "zip_contents.h"

namespace engine::test {

// Three loose files (one replaced through differently cased folders, one new
// in new folders, one emptied), an archive that gains an entry, replaces one,
// drops one and keeps one, and deletions of a file, a missing file and a
// folder.
PatchDescription TypicalPatch();

// A run of it passes eight cancel tests: three loose files, two new and three
// old archive entries.
inline constexpr int kTypicalChecks = 8;

// The archive as the typical patch leaves it.
extern const ZipEntries kTypicalNewArchive;

class TypicalGameTest : public InstallationTest {
 protected:
  // The game as installed before the typical patch.
  void InstallGame();
};

}  // namespace engine::test
