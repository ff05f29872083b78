// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

#if defined(__SSE2__) || defined(_M_X64)
#define KELVORA_LINE_END_SSE2
#include <emmintrin.h>
#endif

// Bit i set when byte i of the 64 at `bytes` is a CR or an LF. All 64 bytes are read. Strength
// file lines are short, so the reader finds several line ends in one such word: looking for
// them one line at a time costs more than the scanning itself.
inline quint64 lineEndBits(const char *bytes)
{
#ifdef KELVORA_LINE_END_SSE2
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const auto part = [&](int offset) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + offset));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf));
        return quint64(static_cast<unsigned>(_mm_movemask_epi8(hits)));
    };
    // Spelled out: the compiler keeps a loop here, with a shift by a variable amount.
    return part(0) | part(16) << 16 | part(32) << 32 | part(48) << 48;
#else
    quint64 bits = 0;
    for (int i = 0; i < 64; ++i)
        bits |= quint64(bytes[i] == '\r' || bytes[i] == '\n') << i;
    return bits;
#endif
}
