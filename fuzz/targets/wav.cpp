// A recording as the speech host reads it: whatever the file holds, the reader fails with a message
// or gives samples in range, and never reads outside the bytes.
#include "speechhost/WavReader.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const WavAudio audio = decodeWav({data, data + size}, "fuzz.wav");
    if (!audio.error.empty() && !audio.samples.empty())
        __builtin_trap();
    return 0;
}
