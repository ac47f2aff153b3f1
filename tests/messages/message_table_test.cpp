#include "messages/message_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/files.h"

namespace messages {
namespace {

using Bytes = std::vector<std::uint8_t>;

// The resource bytes for a UTF-16 text, with or without the byte-order mark.
Bytes Resource(const std::u16string& text, bool with_mark = true) {
  Bytes bytes;
  if (with_mark) bytes = {0xFF, 0xFE};
  for (char16_t unit : text) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  return bytes;
}

std::u16string Text(MsgId id) {
  const char16_t* text = Message(id);
  return text == nullptr ? u"<null>" : std::u16string(text);
}

MsgId Id(int index) { return static_cast<MsgId>(index); }

class MessageTableTest : public testing::Test {
 protected:
  void TearDown() override { ReleaseMessageTable(); }
};

const std::u16string kShippedTexts[kMessageCount] = {
    u"Extracting data...",
    u"Patch is being installed. Please wait...",
    u"Cancel",
    u"Update installed successfully!",
    u"Close",
    u"File is corrupted! Update impossible.",
    u"Unknown error",
    u"Write error to a temporary file. Possibly no free space in the disc with the game "
    u"folder.",
    u"This patch is for the English version only!",
    u"Patch is already installed! Do you want to reinstall this patch?",
    u"Setup found a newer version installed! Continue any way?",
    u"Choose the installation path for the patch:",
};

std::u16string ShippedText() {
  std::u16string text;
  for (int i = 0; i < kMessageCount; ++i) {
    if (i > 0) text += u"\r\n";
    text += kShippedTexts[i];
  }
  return text;
}

TEST_F(MessageTableTest, ShippedResourceHoldsTheTwelveTextsExactly) {
  // Throws, and so fails the test, when resources/messages.txt is missing.
  const Bytes shipped = test_support::ReadBytes(PI_SOURCE_DIR "/resources/messages.txt");

  EXPECT_EQ(shipped.size(), 934u);
  EXPECT_EQ(shipped, Resource(ShippedText()));

  ASSERT_TRUE(LoadMessageTable(shipped));
  for (int i = 0; i < kMessageCount; ++i) EXPECT_EQ(Text(Id(i)), kShippedTexts[i]) << i;
}

TEST_F(MessageTableTest, LineEndAfterTheTwelfthTextChangesNothing) {
  ASSERT_TRUE(LoadMessageTable(Resource(ShippedText() + u"\r\nsurplus\r\nmore")));
  for (int i = 0; i < kMessageCount; ++i) EXPECT_EQ(Text(Id(i)), kShippedTexts[i]) << i;

  ASSERT_TRUE(LoadMessageTable(Resource(ShippedText() + u"\r\n")));
  EXPECT_EQ(Text(MsgId::ChooseFolder), kShippedTexts[11]);
}

TEST_F(MessageTableTest, ElevenTextsAndALineEndGiveAnEmptyTwelfth) {
  std::u16string text;
  for (int i = 0; i < 11; ++i) text += kShippedTexts[i] + u"\r\n";
  ASSERT_TRUE(LoadMessageTable(Resource(text)));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Text(Id(i)), kShippedTexts[i]) << i;
  EXPECT_EQ(Text(MsgId::ChooseFolder), u"");
}

TEST_F(MessageTableTest, ThreeLinesFillThreeSlotsAndLeaveTheRestNull) {
  ASSERT_TRUE(LoadMessageTable(Resource(u"one\r\ntwo\r\nthree")));
  EXPECT_EQ(Text(Id(0)), u"one");
  EXPECT_EQ(Text(Id(1)), u"two");
  EXPECT_EQ(Text(Id(2)), u"three");
  for (int i = 3; i < kMessageCount; ++i) EXPECT_EQ(Message(Id(i)), nullptr) << i;
}

TEST_F(MessageTableTest, FirstUnitIsDroppedEvenWhenItIsNoMark) {
  ASSERT_TRUE(LoadMessageTable(Resource(u"Hello\r\nWorld", /*with_mark=*/false)));
  EXPECT_EQ(Text(Id(0)), u"ello");
  EXPECT_EQ(Text(Id(1)), u"World");
}

TEST_F(MessageTableTest, OnlyCarriageReturnSplitsAndSwallowsTheNextUnit) {
  ASSERT_TRUE(LoadMessageTable(Resource(u"a\rXb\nc\r\nd")));
  EXPECT_EQ(Text(Id(0)), u"a");
  EXPECT_EQ(Text(Id(1)), u"b\nc");
  EXPECT_EQ(Text(Id(2)), u"d");
  EXPECT_EQ(Message(Id(3)), nullptr);
}

TEST_F(MessageTableTest, CarriageReturnAsTheLastUnitStaysInsideTheBuffer) {
  // Run under the address sanitizer, a read or write past the buffer fails
  // this test; the text reads as if the CR had been followed by its LF.
  ASSERT_TRUE(LoadMessageTable(Resource(u"one\r")));
  EXPECT_EQ(Text(Id(0)), u"one");
  EXPECT_EQ(Text(Id(1)), u"");
  EXPECT_EQ(Message(Id(2)), nullptr);

  ASSERT_TRUE(LoadMessageTable(Resource(u"\r")));
  EXPECT_EQ(Text(Id(0)), u"");
  EXPECT_EQ(Text(Id(1)), u"");
}

TEST_F(MessageTableTest, ResourceUnderTwoBytesIsRefused) {
  ASSERT_TRUE(LoadMessageTable(Resource(u"kept")));
  EXPECT_FALSE(LoadMessageTable(Bytes{0xFF}));
  EXPECT_FALSE(LoadMessageTable(Bytes{}));
  for (int i = 0; i < kMessageCount; ++i) EXPECT_EQ(Message(Id(i)), nullptr) << i;
}

TEST_F(MessageTableTest, MarkAloneOrAnOddByteGivesOneEmptyText) {
  ASSERT_TRUE(LoadMessageTable(Bytes{0xFF, 0xFE, 0x41}));
  EXPECT_EQ(Text(Id(0)), u"");
  EXPECT_EQ(Message(Id(1)), nullptr);
}

TEST_F(MessageTableTest, ReleaseLeavesEveryTextNull) {
  ASSERT_TRUE(LoadMessageTable(Resource(ShippedText())));
  ReleaseMessageTable();
  for (int i = 0; i < kMessageCount; ++i) EXPECT_EQ(Message(Id(i)), nullptr) << i;
}

}  // namespace
}  // namespace messages
