#include "announce/wave.h"

#include <cstring>

namespace
{
constexpr std::uint16_t kTagPcm = 1;
constexpr std::uint16_t kTagFloat = 3;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr int kMaxChannels = 8;
constexpr std::uint32_t kMaxRate = 384000;
// Writers that cannot seek back (espeak-ng --stdout, pipes) leave a length about this large.
constexpr std::uint32_t kStreamedLength = 0x7F000000;
// The tail of KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT after the two bytes of the tag:
// {000000XX-0000-0010-8000-00AA00389B71}.
constexpr unsigned char kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                            0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint16_t u16(const unsigned char *p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t u32(const unsigned char *p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

bool isId(const unsigned char *p, const char *id)
{
    return std::memcmp(p, id, 4) == 0;
}

// Fills the format fields of `info` from a "fmt " body of `len` bytes; false when unplayable.
bool readFormat(const unsigned char *body, std::size_t len, WaveInfo &info)
{
    if (len < 16) return false;
    std::uint16_t tag = u16(body);
    const int channels = u16(body + 2);
    const std::uint32_t rate = u32(body + 4);
    // The byte rate at +8 is redundant with rate * block align and is often wrong: ignored.
    const int blockAlign = u16(body + 12);
    const int bits = u16(body + 14);
    if (tag == kTagExtensible) {
        if (len < 40 || u16(body + 16) < 22) return false;
        const int validBits = u16(body + 18);
        if (validBits > bits) return false;
        tag = u16(body + 24);
        if (std::memcmp(body + 26, kSubtypeTail, sizeof kSubtypeTail) != 0) return false;
    }
    if (channels < 1 || channels > kMaxChannels || rate == 0 || rate > kMaxRate) return false;
    if (tag == kTagPcm && bits == 8)
        info.format = SampleFormat::UInt8;
    else if (tag == kTagPcm && bits == 16)
        info.format = SampleFormat::Int16;
    else if (tag == kTagPcm && bits == 32)
        info.format = SampleFormat::Int32;
    else if (tag == kTagFloat && bits == 32)
        info.format = SampleFormat::Float32;
    else
        return false;
    if (blockAlign != channels * (bits / 8)) return false;
    info.channels = channels;
    info.sampleRate = rate;
    info.bitsPerSample = bits;
    info.blockAlign = blockAlign;
    return true;
}
} // namespace

std::optional<WaveInfo> parseWave(const unsigned char *data, std::size_t size)
{
    if (data == nullptr || size < 12 || !isId(data, "RIFF") || !isId(data + 8, "WAVE")) return std::nullopt;

    WaveInfo info;
    bool haveFormat = false;
    bool haveData = false;
    std::size_t pos = 12;
    // The RIFF length at +4 is not trusted (streamed files): the walk is bounded by `size` alone.
    while (size - pos >= 8 && !(haveFormat && haveData)) {
        const unsigned char *header = data + pos;
        const std::size_t len = u32(header + 4);
        const std::size_t body = pos + 8;
        const std::size_t present = size - body;
        if (isId(header, "data") && !haveData) {
            if (len <= present) {
                info.dataLength = len;
            } else if (len >= kStreamedLength) {
                info.dataLength = present;
            } else {
                return std::nullopt; // truncated
            }
            info.dataOffset = body;
            haveData = true;
            if (len > present) break; // the samples run to the end: nothing can follow them
        } else if (isId(header, "fmt ") && !haveFormat) {
            if (len > present || !readFormat(data + body, len, info)) return std::nullopt;
            haveFormat = true;
        } else if (len > present) {
            break; // a truncated chunk ends the walk
        }
        // Chunks are padded to an even length; the pad byte may be missing at the very end.
        const std::size_t step = len + (len & 1u);
        if (step >= present) break;
        pos = body + step;
    }
    if (!haveFormat || !haveData) return std::nullopt;
    info.dataLength -= info.dataLength % static_cast<std::size_t>(info.blockAlign);
    return info;
}
