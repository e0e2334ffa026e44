#include "WavReader.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint32_t le32(const unsigned char *p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }
uint16_t le16(const unsigned char *p) { return uint16_t(p[0] | p[1] << 8); }

} // namespace

WavAudio readWav(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        WavAudio audio;
        audio.error = "error: failed to open '" + path + "'";
        return audio;
    }
    return decodeWav({std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()}, path);
}

WavAudio decodeWav(const std::vector<unsigned char> &bytes, const std::string &path)
{
    WavAudio audio;
    const auto fail = [&](const char *why) {
        audio.error = "error: failed to decode audio from '" + path + "': " + why;
        audio.samples.clear();
        return audio;
    };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 || std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return fail("not a WAV file");

    uint16_t format = 0, channels = 0, bits = 0;
    uint32_t rate = 0;
    size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const unsigned char *chunk = bytes.data() + at;
        const uint32_t declared = le32(chunk + 4);
        const size_t body = at + 8;
        // The recorder patches the sizes at the end; a recording cut short says 0, so take the rest.
        const size_t size = std::memcmp(chunk, "data", 4) == 0 && (declared == 0 || body + declared > bytes.size())
                                ? bytes.size() - body
                                : std::min<size_t>(declared, bytes.size() - body);
        if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
            format = le16(bytes.data() + body);
            channels = le16(bytes.data() + body + 2);
            rate = le32(bytes.data() + body + 4);
            bits = le16(bytes.data() + body + 14);
            if (format == 0xFFFE && size >= 26)
                format = le16(bytes.data() + body + 24); // WAVE_FORMAT_EXTENSIBLE: the sub-format
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (channels == 0)
                return fail("no format chunk before the data");
            if (rate != 16000)
                return fail("the sample rate is not 16000 Hz");
            const bool pcm16 = format == 1 && bits == 16, float32 = format == 3 && bits == 32;
            if (!pcm16 && !float32)
                return fail("neither 16-bit PCM nor 32-bit float");
            const size_t frameBytes = size_t(bits / 8) * channels;
            const size_t frames = size / frameBytes;
            audio.samples.resize(frames);
            for (size_t f = 0; f < frames; ++f) {
                float sum = 0;
                for (uint16_t c = 0; c < channels; ++c) {
                    const unsigned char *s = bytes.data() + body + f * frameBytes + c * (bits / 8);
                    if (pcm16) {
                        sum += float(int16_t(le16(s))) / 32768.0f;
                    } else {
                        float v;
                        std::memcpy(&v, s, 4);
                        sum += v;
                    }
                }
                audio.samples[f] = sum / float(channels);
            }
            return audio;
        }
        at = body + size + (size & 1);
    }
    return fail("no data chunk");
}
