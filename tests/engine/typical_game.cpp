#include "typical_game.h"

namespace engine::test {

PatchDescription TypicalPatch() {
  PatchDescription patch;
  patch.version = 14;
  patch.loose_files = {Entry("DATA\\Maps\\a.bin", "new a"), Entry("new\\dir\\b.txt", "bee"),
                       Entry("readme.txt", "")};
  patch.archives = {
      {"Data\\pack.zip", {Entry("e.txt", "new e"), Entry("f.txt", "new f")}, {"old.txt"}}};
  patch.deletions = {"old.dat", "missing.dat", "data"};
  return patch;
}

const ZipEntries kTypicalNewArchive = {
    {"e.txt", "new e"}, {"f.txt", "new f"}, {"keep.txt", "kept"}};

void TypicalGameTest::InstallGame() {
  folder.Write("data/maps/a.bin", "old a");
  folder.Write("readme.txt", "old readme");
  folder.Write("old.dat", "obsolete");
  folder.Write("keep.txt", "kept");
  WriteZip("data/pack.zip", {{"F.TXT", "old f"}, {"old.txt", "obsolete"}, {"keep.txt", "kept"}});
}

}  // namespace engine::test
