// parseWave on arbitrary bytes: no crash, no overread, no undefined behaviour, and whatever it
// accepts describes samples that lie inside the buffer in whole frames.
#include "announce/wave.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto info = parseWave(data, size);
    if (!info) return 0;
    if (info->dataOffset > size || info->dataLength > size - info->dataOffset) std::abort();
    if (info->channels < 1 || info->channels > 8 || info->sampleRate < 1 || info->sampleRate > 384000 ||
        info->blockAlign != info->channels * info->bitsPerSample / 8 ||
        info->dataLength % info->blockAlign != 0)
        std::abort();
    // Touch every sample byte it claims, so ASan sees any that is not there.
    unsigned sum = 0;
    for (std::size_t i = 0; i < info->dataLength; ++i)
        sum += data[info->dataOffset + i];
    volatile unsigned sink = sum + static_cast<unsigned>(info->durationUs());
    (void)sink;
    return 0;
}
