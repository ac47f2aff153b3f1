#include "payload/sha1.h"

#include <algorithm>
#include <cstring>

namespace payload {
namespace {

constexpr std::array<std::uint32_t, 5> kInitialState = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu,
                                                        0x10325476u, 0xC3D2E1F0u};

Sha1BlockFunction ChooseBlockFunction() {
  Sha1BlockFunction accelerated = Sha1BlocksAccelerated();
  return accelerated != nullptr ? accelerated : &Sha1BlocksPortable;
}

Sha1BlockFunction BlockFunction() {
  static const Sha1BlockFunction chosen = ChooseBlockFunction();
  return chosen;
}

}  // namespace

Sha1::Sha1() : Sha1(BlockFunction()) {}

Sha1::Sha1(Sha1BlockFunction compress_blocks) : compress_blocks_(compress_blocks) { Reset(); }

void Sha1::Reset() {
  state_ = kInitialState;
  pending_size_ = 0;
  total_size_ = 0;
}

void Sha1::Update(std::span<const std::uint8_t> data) {
  // An empty span may carry a null pointer, which memcpy must never see.
  if (data.empty()) return;
  total_size_ += data.size();
  const std::uint8_t* next = data.data();
  std::size_t left = data.size();
  if (pending_size_ > 0) {
    std::size_t take = std::min(left, pending_.size() - pending_size_);
    std::memcpy(pending_.data() + pending_size_, next, take);
    pending_size_ += take;
    next += take;
    left -= take;
    if (pending_size_ < pending_.size()) return;
    compress_blocks_(state_.data(), pending_.data(), 1);
    pending_size_ = 0;
  }
  // Whole blocks are compressed straight from the caller's bytes, so a large
  // payload is hashed in place without a copy.
  std::size_t whole_blocks = left / 64;
  if (whole_blocks > 0) {
    compress_blocks_(state_.data(), next, whole_blocks);
    next += whole_blocks * 64;
    left -= whole_blocks * 64;
  }
  if (left > 0) {
    std::memcpy(pending_.data(), next, left);
    pending_size_ = left;
  }
}

Sha1Digest Sha1::Finish() {
  const std::uint64_t bit_count = total_size_ * 8;
  std::array<std::uint8_t, 72> padding{};
  padding[0] = 0x80;
  // One 0x80 byte, zeros up to 56 mod 64, then the 64-bit big-endian length.
  std::size_t pad_size = (pending_size_ < 56 ? 56 : 120) - pending_size_;
  for (int i = 0; i < 8; ++i) {
    padding[pad_size + i] = static_cast<std::uint8_t>(bit_count >> (56 - 8 * i));
  }
  Update(std::span<const std::uint8_t>(padding.data(), pad_size + 8));

  Sha1Digest digest;
  for (std::size_t i = 0; i < 5; ++i) {
    digest[4 * i] = static_cast<std::uint8_t>(state_[i] >> 24);
    digest[4 * i + 1] = static_cast<std::uint8_t>(state_[i] >> 16);
    digest[4 * i + 2] = static_cast<std::uint8_t>(state_[i] >> 8);
    digest[4 * i + 3] = static_cast<std::uint8_t>(state_[i]);
  }
  Reset();
  return digest;
}

Sha1Digest ComputeSha1(std::span<const std::uint8_t> data) {
  Sha1 sha1;
  sha1.Update(data);
  return sha1.Finish();
}

}  // namespace payload
