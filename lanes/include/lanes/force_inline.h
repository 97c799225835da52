// ZEMBRA_FORCE_INLINE: inline this function even where the compiler would
// not. For the pose engines' arc functions, whose call overhead and lost
// overlap with the surrounding arithmetic cost more than their code size,
// and for the portable lanes, whose values would otherwise go through
// memory at every operation.
#pragma once

#if defined(_MSC_VER)
#define ZEMBRA_FORCE_INLINE __forceinline
#else
#define ZEMBRA_FORCE_INLINE inline __attribute__((always_inline))
#endif
