#include "sys/Crc32.h"

#include <zlib.h>

#include <algorithm>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
// glibc's header is C (it uses _Bool), which only GCC takes in C++.
#if __has_include(<sys/platform/x86.h>) && !defined(__clang__)
#define SLV2_GLIBC_CPU_FEATURES 1
#include <sys/platform/x86.h>
#else
#include <cpuid.h>
#endif
#define SLV2_CRC32_FOLD 1
#endif

namespace slv2 {
namespace {

// zlib's table-driven crc32().
uint32_t TableCRC32(const uint8_t* p, uint32_t crc, size_t length) {
  // zlib's crc32() inverts the register on entry and on exit; undo both so that
  // the raw register travels between calls.
  uLong value = ~crc & 0xFFFFFFFFu;
  while (length > 0) {
    auto chunk = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
    value = crc32(value, p, chunk);
    p += chunk;
    length -= chunk;
  }
  return ~static_cast<uint32_t>(value);
}

#ifdef SLV2_CRC32_FOLD

// Carry-less multiplication folds 64 bytes at a time, several times faster
// than the table: a difference is checked over its whole old and new file, so
// on a small file this was a tenth of applying it. The constants are powers of
// x modulo the reflected polynomial (x^(4*128+32), x^(4*128-32), x^(128+32),
// x^(128-32), x^64) and the Barrett pair for the final reduction.
constexpr long long kK1 = 0x154442bd4, kK2 = 0x1c6e41596, kK3 = 0x1751997d0, kK4 = 0xccaa009e,
                    kK5 = 0x163cd6124, kPoly = 0x1db710641, kMu = 0x1f7011641;

__attribute__((target("pclmul,sse4.1"))) __m128i Fold(__m128i x, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(x, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// The raw register over a multiple of 16 bytes, at least 64.
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldCRC32(const uint8_t* p, uint32_t crc,
                                                            size_t length) {
  auto load = [](const uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  __m128i x1 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(p + 16), x3 = load(p + 32), x4 = load(p + 48);
  p += 64;
  length -= 64;
  __m128i k = _mm_set_epi64x(kK2, kK1);
  for (; length >= 64; p += 64, length -= 64) {
    x1 = Fold(x1, k, load(p));
    x2 = Fold(x2, k, load(p + 16));
    x3 = Fold(x3, k, load(p + 32));
    x4 = Fold(x4, k, load(p + 48));
  }
  k = _mm_set_epi64x(kK4, kK3);
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  for (; length >= 16; p += 16, length -= 16)
    x1 = Fold(x1, k, load(p));

  // 128 bits to 64, then to 32 with 32 zero bits appended, then Barrett.
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(k, x1, 0x01), _mm_srli_si128(x1, 8));
  const __m128i mask32 = _mm_set_epi32(0, 0, 0, -1);
  __m128i shifted = _mm_srli_si128(x1, 4);
  x1 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), _mm_set_epi64x(0, kK5), 0x00);
  x1 = _mm_xor_si128(x1, shifted);
  const __m128i barrett = _mm_set_epi64x(kMu, kPoly);
  __m128i t = _mm_and_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), barrett, 0x10), mask32);
  t = _mm_xor_si128(_mm_clmulepi64_si128(t, barrett, 0x00), x1);
  return static_cast<uint32_t>(_mm_extract_epi32(t, 1));
}

// The C library has asked the processor already; where it cannot tell, one
// CPUID leaf: the compiler's full feature probe asks a dozen, and under a
// hypervisor costs more than the fold saves on a small file.
bool CanFold() {
#ifdef SLV2_GLIBC_CPU_FEATURES
  return CPU_FEATURE_ACTIVE(PCLMULQDQ) && CPU_FEATURE_ACTIVE(SSE4_1);
#else
  static const bool can = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) && (ecx & bit_PCLMUL) && (ecx & bit_SSE4_1);
  }();
  return can;
#endif
}

#endif

}  // namespace

uint32_t UpdateCRC32(const void* buffer, uint32_t crc, size_t length) {
  auto* p = static_cast<const uint8_t*>(buffer);
#ifdef SLV2_CRC32_FOLD
  if (length >= 64 && CanFold()) {
    size_t folded = length & ~size_t(15);
    crc = FoldCRC32(p, crc, folded);
    p += folded;
    length -= folded;
  }
#endif
  return TableCRC32(p, crc, length);
}

uint32_t CalcCRC32(const void* buffer, size_t length) {
  return ~UpdateCRC32(buffer, 0xFFFFFFFFu, length);
}

}  // namespace slv2
