#include "engine/game_path.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

TEST(GamePathKeyTest, OneKeyForEverySpellingWindowsTakesAsTheSameFile) {
  EXPECT_EQ(GamePathKey("Data\\Config.CFG"), "data\\config.cfg");
  EXPECT_EQ(GamePathKey("data/config.cfg"), "data\\config.cfg");
  EXPECT_EQ(GamePathKey("sv.exe"), "sv.exe");
  // Dots and spaces inside a part are part of the name.
  EXPECT_EQ(GamePathKey("data\\..name"), "data\\..name");
  EXPECT_EQ(GamePathKey(" a b\\.hidden"), " a b\\.hidden");
  EXPECT_EQ(GamePathKey("a~b\\updcommit.lst"), "a~b\\updcommit.lst");
  EXPECT_EQ(GamePathKey("console.txt"), "console.txt");
  EXPECT_EQ(GamePathKey("com10.txt"), "com10.txt");
  EXPECT_EQ(GamePathKey("x.updtmp.txt"), "x.updtmp.txt");
}

class RefusedPathTest : public ::testing::TestWithParam<std::string> {};

TEST_P(RefusedPathTest, IsRefused) { EXPECT_EQ(GamePathKey(GetParam()), std::nullopt); }

INSTANTIATE_TEST_SUITE_P(
    Spellings, RefusedPathTest,
    ::testing::Values("", "\\root.txt", "/root.txt", "data\\\\config.cfg", "data//config.cfg",
                      "data\\", ".\\data\\config.cfg", "data\\.\\config.cfg", "data\\..",
                      "..\\up.txt", "config.cfg.", "config.cfg ", "data. \\x", "C:\\x.txt",
                      "c:x.txt", "sv.exe:stream", "a<b", "a>b", "a\"b", "a|b", "a?b", "a*b",
                      std::string("a\x01") + "b", "CON", "data\\nul.txt", "nul .txt", "Aux.ini",
                      "com1", "LPT9.log", "conin$", "PROGRA~1\\x.txt", "DATA~2.ZIP", "x.updtmp",
                      "X.UPDBAK", "dir.updtmp\\x", "updcommit.lst", "UpdCommit.Done", "updrun.lock",
                      "updcommit.lst.updtmp"));

}  // namespace
}  // namespace engine
