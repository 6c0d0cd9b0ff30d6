#include "common/simd_path.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

SimdPath Asked()
{
    const char *asked = std::getenv("KVN_SIMD");
    if (!asked)
        return SimdPath::Avx2;
    const std::pair<const char *, SimdPath> names[] = {
        {"plain", SimdPath::Plain}, {"sse2", SimdPath::Sse2}, {"ssse3", SimdPath::Ssse3}, {"avx2", SimdPath::Avx2}};
    for (const auto &[name, path] : names)
        if (std::strcmp(asked, name) == 0)
            return path;
    return SimdPath::Avx2;
}

std::atomic<SimdPath> &Active()
{
    static std::atomic<SimdPath> active{std::min(ProcessorSimdPath(), Asked())};
    return active;
}

} // namespace

SimdPath ProcessorSimdPath()
{
#if KVN_SIMD_X86
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2"))
        return SimdPath::Avx2;
    if (__builtin_cpu_supports("ssse3"))
        return SimdPath::Ssse3;
    if (__builtin_cpu_supports("sse2"))
        return SimdPath::Sse2;
#endif
    return SimdPath::Plain;
}

SimdPath ActiveSimdPath()
{
    return Active().load(std::memory_order_relaxed);
}

SimdPathOverride::SimdPathOverride(SimdPath path) : m_before(ActiveSimdPath())
{
    Active().store(std::min(path, ProcessorSimdPath()));
}

SimdPathOverride::~SimdPathOverride()
{
    Active().store(m_before);
}
