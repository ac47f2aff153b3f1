// SHA-1 block compression with the x86 SHA extensions.
//
// This file alone is compiled with -msha -msse4.1, so nothing outside the
// block function may use those instructions before the processor has been
// asked whether it has them; the check itself is plain CPUID.
#include "payload/sha1.h"

#if (defined(__x86_64__) || defined(__i386__)) && defined(__SHA__) && defined(__SSE4_1__)
#define PAYLOAD_SHA1_HAS_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace payload {

#ifdef PAYLOAD_SHA1_HAS_SHA_NI
namespace {

// Four rounds with round function kFunction (0..3 for rounds 0-19, 20-39,
// 40-59, 60-79). `e_source` holds ABCD from four rounds ago, from which the
// instruction derives E; afterwards it holds the ABCD of this step.
template <int kFunction>
inline void FourRounds(__m128i& abcd, __m128i& e_source, __m128i words) {
  __m128i e = _mm_sha1nexte_epu32(e_source, words);
  e_source = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, e, kFunction);
}

// The next four message words from the previous sixteen, oldest first.
inline __m128i NextWords(__m128i w0, __m128i w1, __m128i w2, __m128i w3) {
  return _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w0, w1), w2), w3);
}

void Sha1BlocksShaNi(std::uint32_t state[5], const std::uint8_t* blocks, std::size_t block_count) {
  // Reverses all sixteen bytes: each word becomes big-endian and word 0 lands
  // in the top lane, where the instructions expect it.
  const __m128i byte_swap = _mm_set_epi64x(0x0001020304050607LL, 0x08090a0b0c0d0e0fLL);
  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);
  __m128i e_start = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);

  for (; block_count > 0; --block_count, blocks += 64) {
    const __m128i abcd_start = abcd;
    const __m128i* words = reinterpret_cast<const __m128i*>(blocks);
    __m128i w0 = _mm_shuffle_epi8(_mm_loadu_si128(words), byte_swap);
    __m128i w1 = _mm_shuffle_epi8(_mm_loadu_si128(words + 1), byte_swap);
    __m128i w2 = _mm_shuffle_epi8(_mm_loadu_si128(words + 2), byte_swap);
    __m128i w3 = _mm_shuffle_epi8(_mm_loadu_si128(words + 3), byte_swap);

    // Rounds 0-3 take E from the state directly.
    __m128i e_source = abcd;
    abcd = _mm_sha1rnds4_epu32(abcd, _mm_add_epi32(e_start, w0), 0);
    FourRounds<0>(abcd, e_source, w1);
    FourRounds<0>(abcd, e_source, w2);
    FourRounds<0>(abcd, e_source, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<0>(abcd, e_source, w0);  // rounds 16-19
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<1>(abcd, e_source, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<1>(abcd, e_source, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<1>(abcd, e_source, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<1>(abcd, e_source, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<1>(abcd, e_source, w1);  // rounds 36-39
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<2>(abcd, e_source, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<2>(abcd, e_source, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<2>(abcd, e_source, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<2>(abcd, e_source, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<2>(abcd, e_source, w2);  // rounds 56-59
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<3>(abcd, e_source, w3);
    w0 = NextWords(w0, w1, w2, w3);
    FourRounds<3>(abcd, e_source, w0);
    w1 = NextWords(w1, w2, w3, w0);
    FourRounds<3>(abcd, e_source, w1);
    w2 = NextWords(w2, w3, w0, w1);
    FourRounds<3>(abcd, e_source, w2);
    w3 = NextWords(w3, w0, w1, w2);
    FourRounds<3>(abcd, e_source, w3);  // rounds 76-79

    e_start = _mm_sha1nexte_epu32(e_source, e_start);
    abcd = _mm_add_epi32(abcd, abcd_start);
  }

  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(abcd, 0x1B));
  state[4] = static_cast<std::uint32_t>(_mm_extract_epi32(e_start, 3));
}

bool ProcessorHasShaExtensions() {
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  const bool has_ssse3 = (ecx & (1u << 9)) != 0;
  const bool has_sse41 = (ecx & (1u << 19)) != 0;
  if (!has_ssse3 || !has_sse41) return false;
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (ebx & (1u << 29)) != 0;
}

}  // namespace

Sha1BlockFunction Sha1BlocksAccelerated() {
  return ProcessorHasShaExtensions() ? &Sha1BlocksShaNi : nullptr;
}

#else

Sha1BlockFunction Sha1BlocksAccelerated() { return nullptr; }

#endif

}  // namespace payload
