#pragma once

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#define KELVORA_FIND_LINE_END_SSE2
#include <emmintrin.h>
#endif

// The first CR or LF in [begin, end), or end when there is none. Both terminators are looked
// for in one pass: strength file lines are short, and two searches per line (one for each
// terminator) cost more than the scanning itself.
inline const char *findLineEnd(const char *begin, const char *end)
{
#ifdef KELVORA_FIND_LINE_END_SSE2
    // Sixteen bytes at a time while sixteen remain, so nothing at or past `end` is read.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    while (end - begin >= 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(begin));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf));
        const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        if (mask != 0)
            return begin + std::countr_zero(mask);
        begin += 16;
    }
#endif
    // The last few bytes of a block, or all of them without SSE2.
    while (begin != end && *begin != '\r' && *begin != '\n')
        ++begin;
    return begin;
}
