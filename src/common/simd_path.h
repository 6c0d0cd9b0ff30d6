#pragma once
// Which vector instructions the picture loops take, chosen once at run time:
// the best the processor has, less when KVN_SIMD (plain, sse2, ssse3, avx2)
// asks for less, or a test does. Every path computes the same bytes.
//
// Intrinsics live only in functions marked __attribute__((target(...))) and
// within #if KVN_SIMD_X86, so a build for an older or another processor has
// the plain path alone; KVN_SIMD_PLAIN_ONLY builds so on x86 too.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(KVN_SIMD_PLAIN_ONLY)
#define KVN_SIMD_X86 1
#else
#define KVN_SIMD_X86 0
#endif

// Each includes the ones before it.
enum class SimdPath { Plain, Sse2, Ssse3, Avx2 };

// The path in use.
SimdPath ActiveSimdPath();
// The best the processor has.
SimdPath ProcessorSimdPath();

// For tests: while it lives, the path is at most path.
class SimdPathOverride {
public:
    explicit SimdPathOverride(SimdPath path);
    ~SimdPathOverride();
    SimdPathOverride(const SimdPathOverride &) = delete;
    SimdPathOverride &operator=(const SimdPathOverride &) = delete;

private:
    SimdPath m_before;
};
