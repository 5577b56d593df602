/* The vector level of the processor, found once. */
#include "qimown.h"

#include <stdatomic.h>

/* -1 until the first use; relaxed atomics, since every thread that finds it
 * unset computes the same value. */
static atomic_int chosenLevel = -1;

static int processorLevel(void)
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return OWN_VECTOR_AVX2;
    if (__builtin_cpu_supports("sse2"))
        return OWN_VECTOR_SSE2;
#endif
    return OWN_VECTOR_NONE;
}

int ownVectorLevel(void)
{
    int level = atomic_load_explicit(&chosenLevel, memory_order_relaxed);
    if (level < 0) {
        level = processorLevel();
        atomic_store_explicit(&chosenLevel, level, memory_order_relaxed);
    }
    return level;
}

int ownHasFma(void)
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
    return __builtin_cpu_supports("fma");
#else
    return 0;
#endif
}

void ownSetVectorLevel(int level)
{
    const int best = processorLevel();
    atomic_store_explicit(&chosenLevel, level < best ? level : best, memory_order_relaxed);
}
