#pragma once
// One entry per fuzz target; shared by the libFuzzer programs and by the
// regression test that replays every input ever found to crash.
#include <cstddef>
#include <cstdint>

void FuzzSettings(const uint8_t *data, size_t size);
void FuzzNextFileName(const uint8_t *data, size_t size);
void FuzzTexts(const uint8_t *data, size_t size);
void FuzzFrameAssembler(const uint8_t *data, size_t size);
void FuzzLoadPicture(const uint8_t *data, size_t size);

// The loadpicture target's first byte for a file of the given extension
// (without the dot); -1 for none.
int PictureExtensionIndex(const char *extension);

struct FuzzTarget {
    const char *name;
    void (*entry)(const uint8_t *, size_t);
};
extern const FuzzTarget kFuzzTargets[];
extern const int kFuzzTargetCount;
