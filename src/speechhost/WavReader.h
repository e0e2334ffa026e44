#pragma once

#include <string>
#include <vector>

// The samples of a 16 kHz WAV file (16-bit PCM or 32-bit float, any channel count, mixed to
// mono) as floats in -1…1. What the recorder writes, and what whisper.cpp's tools accept.
struct WavAudio {
    std::vector<float> samples;
    std::string error; // empty when read
};

WavAudio readWav(const std::string &path);
// The same for bytes already read; the path only names the file in errors.
WavAudio decodeWav(const std::vector<unsigned char> &bytes, const std::string &path);
