#include "sha256blocks.h"

#include <cstdlib>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace zefto::sha256blocks {

#if defined(__x86_64__) || defined(__i386__)

namespace {

// The first 32 bits of the fractional parts of the cube roots of the first 64 primes.
alignas(16) constexpr std::uint32_t roundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

bool askProcessor()
{
    // A CPUID traps to the hypervisor on a virtual machine (some 7 µs each here): three, not the four
    // that two __get_cpuid calls make.
    if (__get_cpuid_max(0, nullptr) < 7)
        return false;
    unsigned a, b, c, d;
    // Leaf 1 ECX: SSSE3 is bit 9, SSE4.1 bit 19; leaf 7 subleaf 0 EBX: SHA is bit 29.
    __cpuid(1, a, b, c, d);
    if (!(c & (1u << 9)) || !(c & (1u << 19)))
        return false;
    __cpuid_count(7, 0, a, b, c, d);
    return b & (1u << 29);
}

} // namespace

bool available()
{
    static const bool has = askProcessor();
    return has;
}

// SHA256RNDS2 takes the state as two halves, {a, b, e, f} and {c, d, g, h} (first word in the
// highest lane), and two words of message plus constant in the low lanes of its third operand;
// it returns the new {a, b, e, f}, and the old one is the new {c, d, g, h}.
// SHA256MSG1 and SHA256MSG2 do the σ0 and σ1 parts of the message schedule four words at a time.
__attribute__((target("sha,sse4.1,ssse3"))) void compress(std::uint32_t state[8], const unsigned char *blocks,
                                                          std::size_t count)
{
    // Message words are big-endian: reverse the bytes of each 32-bit lane.
    const __m128i bigEndian = _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3);
    __m128i abef = _mm_set_epi32(int(state[0]), int(state[1]), int(state[4]), int(state[5]));
    __m128i cdgh = _mm_set_epi32(int(state[2]), int(state[3]), int(state[6]), int(state[7]));

    for (; count > 0; --count, blocks += 64) {
        const __m128i abefBefore = abef, cdghBefore = cdgh;
        __m128i w[4]; // words 4g..4g+3 of the schedule in w[g % 4], lowest lane first
#pragma GCC unroll 16
        for (int g = 0; g < 16; ++g) {
            __m128i &words = w[g % 4];
            if (g < 4) {
                words =
                    _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(blocks + 16 * g)), bigEndian);
            } else {
                // W[t] = σ1(W[t-2]) + W[t-7] + σ0(W[t-15]) + W[t-16]; words holds W[t-16..t-13] here.
                const __m128i older = _mm_sha256msg1_epu32(words, w[(g - 3) % 4]);
                const __m128i minus7 = _mm_alignr_epi8(w[(g - 1) % 4], w[(g - 2) % 4], 4);
                words = _mm_sha256msg2_epu32(_mm_add_epi32(older, minus7), w[(g - 1) % 4]);
            }
            const __m128i wk =
                _mm_add_epi32(words, _mm_load_si128(reinterpret_cast<const __m128i *>(roundConstants + 4 * g)));
            __m128i next = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            cdgh = abef;
            abef = next;
            next = _mm_sha256rnds2_epu32(cdgh, abef, _mm_srli_si128(wk, 8));
            cdgh = abef;
            abef = next;
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }

    state[0] = std::uint32_t(_mm_extract_epi32(abef, 3));
    state[1] = std::uint32_t(_mm_extract_epi32(abef, 2));
    state[4] = std::uint32_t(_mm_extract_epi32(abef, 1));
    state[5] = std::uint32_t(_mm_extract_epi32(abef, 0));
    state[2] = std::uint32_t(_mm_extract_epi32(cdgh, 3));
    state[3] = std::uint32_t(_mm_extract_epi32(cdgh, 2));
    state[6] = std::uint32_t(_mm_extract_epi32(cdgh, 1));
    state[7] = std::uint32_t(_mm_extract_epi32(cdgh, 0));
}

#else

bool available()
{
    return false;
}

void compress(std::uint32_t *, const unsigned char *, std::size_t)
{
    std::abort(); // callers ask available() first
}

#endif

} // namespace zefto::sha256blocks
