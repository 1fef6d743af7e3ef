#pragma once
// Reading the header of an in-memory RIFF WAVE image: what is needed to hand its samples, untouched,
// to an audio output. Standard library only.

#include <cstddef>
#include <cstdint>
#include <optional>

enum class SampleFormat { UInt8, Int16, Int32, Float32 };

struct WaveInfo {
    int channels = 0;             // 1 to 8
    std::uint32_t sampleRate = 0; // 1 to 384000 frames per second
    int bitsPerSample = 0;        // 8, 16 or 32, as the format implies
    SampleFormat format = SampleFormat::UInt8;
    int blockAlign = 0; // bytes per frame: channels * bitsPerSample / 8
    // The samples are bytes [dataOffset, dataOffset + dataLength) of the image; dataLength is a
    // whole number of frames and the range always lies inside the image.
    std::size_t dataOffset = 0;
    std::size_t dataLength = 0;

    std::uint64_t frames() const { return dataLength / static_cast<std::size_t>(blockAlign); }
    // Rounded down to the microsecond.
    std::uint64_t durationUs() const { return frames() * 1000000u / sampleRate; }
    double durationSeconds() const { return static_cast<double>(frames()) / sampleRate; }
};

// The layout of the WAVE image data[0, size), or nullopt when it is not one this program can play:
// a wrong or truncated header, no "fmt " or "data" chunk, a compressed or unsupported sample
// format, or absurd fields. Never reads outside data[0, size). A data chunk whose declared length
// is a streaming placeholder (0x7F000000 or more) is cut to the bytes present.
std::optional<WaveInfo> parseWave(const unsigned char *data, std::size_t size);
