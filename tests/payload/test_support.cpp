#include "tests/payload/test_support.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>

namespace payload_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "payload-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string RunCommand(const std::string& command) {
  struct PipeCloser {
    void operator()(FILE* pipe) const { pclose(pipe); }
  };
  std::string output;
  FILE* raw = popen(command.c_str(), "r");
  if (raw == nullptr) {
    ADD_FAILURE() << "cannot start: " << command;
    return output;
  }
  std::unique_ptr<FILE, PipeCloser> pipe(raw);
  char chunk[4096];
  std::size_t count;
  while ((count = std::fread(chunk, 1, sizeof chunk, pipe.get())) > 0) output.append(chunk, count);
  int status = pclose(pipe.release());
  EXPECT_EQ(status, 0) << "command failed: " << command;
  return output;
}

Bytes RandomBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(engine());
  return bytes;
}

Bytes CodeLikeBytes(std::size_t size, std::uint32_t seed) {
  std::mt19937 engine(seed);
  Bytes bytes;
  bytes.reserve(size);
  while (bytes.size() < size) {
    switch (engine() % 4) {
      case 0:
      case 1: {
        // A call or jump with a displacement whose top byte is 00 or FF.
        bytes.push_back(engine() % 2 == 0 ? 0xE8 : 0xE9);
        std::uint32_t displacement = engine() % 0x20000;
        if (engine() % 2 == 0) displacement = 0u - displacement;
        for (int i = 0; i < 4; ++i)
          bytes.push_back(static_cast<std::uint8_t>(displacement >> (8 * i)));
        break;
      }
      case 2:
        bytes.push_back(static_cast<std::uint8_t>(engine() % 2 == 0 ? 0x00 : 0xFF));
        break;
      default:
        bytes.push_back(static_cast<std::uint8_t>(engine()));
    }
  }
  bytes.resize(size);
  return bytes;
}

}  // namespace payload_test
