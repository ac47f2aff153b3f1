// Payload bodies made by the xz command line tool, not by our own writer:
// the .lzma format (with its size field filled in, since xz writes the
// unknown-size marker) and raw LZMA1 with and without the x86 filter behind a
// header of our own.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>

#include "payload/payload_container.h"
#include "tests/payload/lzma_test_encoder.h"
#include "tests/support/command.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace {

using test_support::Bytes;

// Real x86 code: the start of this test program itself, then some text.
Bytes MixedInput() {
  std::ifstream self("/proc/self/exe", std::ios::binary);
  Bytes input(1 << 20);
  self.read(reinterpret_cast<char*>(input.data()), static_cast<std::streamsize>(input.size()));
  input.resize(static_cast<std::size_t>(self.gcount()));
  std::string text;
  for (int i = 0; i < 3000; ++i) {
    text += "Entry " + std::to_string(i) + ": textures\\terrain\\tile_" + std::to_string(i % 97) +
            ".dds replaced; checksum " + std::to_string(i * 2654435761u) + "\n";
  }
  input.insert(input.end(), text.begin(), text.end());
  return input;
}

class XzCompat : public ::testing::Test {
 protected:
  void SetUp() override {
    input_ = MixedInput();
    ASSERT_GT(input_.size(), 100000u);
    input_path_ = dir_.path() / "input";
    test_support::WriteBytes(input_path_, input_);
  }

  Bytes Xz(const std::string& options) {
    std::filesystem::path out = dir_.path() / "out";
    EXPECT_TRUE(test_support::Succeeded(
        test_support::RunCommand("xz -c " + options + " " + test_support::Quoted(input_path_) +
                                 " > " + test_support::Quoted(out))));
    return test_support::ReadBytes(out);
  }

  void ExpectDecodesToInput(const Bytes& body) {
    Bytes payload = payload_test::WithTrailer(body);
    ASSERT_TRUE(payload::CheckPayloadTrailer(payload));
    std::span<const std::uint8_t> checked(payload.data(), body.size());
    std::optional<std::uint32_t> size = payload::ReadDeclaredSize(checked);
    ASSERT_EQ(size, input_.size());
    Bytes block(*size);
    std::size_t produced = 0;
    ASSERT_EQ(payload::DecodePayload(checked, block, &produced), payload::DecodeResult::kOk);
    EXPECT_EQ(produced, input_.size());
    EXPECT_TRUE(block == input_) << "decoded bytes differ from the input";
  }

  test_support::TempDir dir_{"payload-test"};
  std::filesystem::path input_path_;
  Bytes input_;
};

TEST_F(XzCompat, DecodesLzmaFormatFilesWithTheirSizeFilledIn) {
  for (const char* options : {"--format=lzma", "--format=lzma -9e", "--format=lzma -0",
                              "--format=lzma --lzma1=preset=6,lc=0,lp=2,pb=0"}) {
    SCOPED_TRACE(options);
    Bytes lzma_file = Xz(options);
    ASSERT_GT(lzma_file.size(), 13u);
    // xz does not know the size when it starts writing, so it marks it unknown.
    for (std::size_t i = 5; i < 13; ++i) ASSERT_EQ(lzma_file[i], 0xFF);
    for (std::size_t i = 0; i < 8; ++i) {
      lzma_file[5 + i] = static_cast<std::uint8_t>(std::uint64_t{input_.size()} >> (8 * i));
    }
    // A filter flag of 0 in front of the LZMA_Alone file makes our container.
    Bytes body(lzma_file.size() + 1);
    std::copy(lzma_file.begin(), lzma_file.end(), body.begin() + 1);
    ExpectDecodesToInput(body);
  }
}

TEST_F(XzCompat, DecodesRawLzma1WithTheX86Filter) {
  Bytes data = Xz("--format=raw --x86 --lzma1=preset=6,lc=3,lp=0,pb=2");
  ExpectDecodesToInput(payload_test::MakeBody(1, payload_test::PropertiesByte(3, 0, 2), 8u << 20,
                                              input_.size(), data));
  // The x86 filter really changed the data: read as unfiltered it differs.
  Bytes body = payload_test::MakeBody(0, payload_test::PropertiesByte(3, 0, 2), 8u << 20,
                                      input_.size(), data);
  Bytes block(input_.size());
  ASSERT_EQ(payload::DecodePayload(body, block), payload::DecodeResult::kOk);
  EXPECT_FALSE(block == input_);
}

TEST_F(XzCompat, DecodesRawLzma1WithOtherProperties) {
  Bytes data = Xz("--format=raw --lzma1=preset=9,lc=1,lp=3,pb=4");
  ExpectDecodesToInput(payload_test::MakeBody(0, payload_test::PropertiesByte(1, 3, 4), 64u << 20,
                                              input_.size(), data));
}

}  // namespace
