#pragma once

// Loops that gain from wide vector units are compiled once per unit and the
// variant is chosen when the module is loaded. They use only unfused single
// operations (contraction is off for the whole build), each lane doing what
// the scalar loop does for its element, so every variant gives the same bits.

#if defined(__x86_64__) && defined(__ELF__) && (defined(__GNUC__) || defined(__clang__))
#define KORU_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define KORU_VECTOR_CLONES
#endif
