// Writes the completion chime as a 16-bit mono WAV file: two bell-like tones
// a fifth apart, each with a soft attack and a long decay. Built and run at
// build time, so the sound is ours and needs no file from anywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xff));
    out.push_back(static_cast<uint8_t>((v >> 8) & 0xff));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

void PutTag(std::vector<uint8_t>& out, const char* tag)
{
    out.insert(out.end(), tag, tag + 4);
}

// One struck tone: the fundamental with two quieter partials.
void AddBell(std::vector<double>& mix, double startS, double freq, double gain)
{
    const auto start = static_cast<size_t>(startS * kRate);
    for (size_t i = start; i < mix.size(); ++i) {
        const double t = static_cast<double>(i - start) / kRate;
        const double attack = t < 0.006 ? t / 0.006 : 1.0;
        const double envelope = attack * std::exp(-t * 4.0);
        const double tone = std::sin(2 * kPi * freq * t) + 0.35 * std::sin(2 * kPi * freq * 2.76 * t) * std::exp(-t * 6.0) +
                            0.15 * std::sin(2 * kPi * freq * 5.4 * t) * std::exp(-t * 10.0);
        mix[i] += gain * envelope * tone;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_chime OUT.wav\n");
        return 2;
    }
    std::vector<double> mix(static_cast<size_t>(kRate * 1.4), 0.0);
    AddBell(mix, 0.0, 880.0, 0.45);
    AddBell(mix, 0.18, 1318.5, 0.35);

    std::vector<uint8_t> samples;
    for (size_t i = 0; i < mix.size(); ++i) {
        // A short fade at the end so playback stops without a click.
        const double left = static_cast<double>(mix.size() - i) / (kRate * 0.05);
        const double v = std::clamp(mix[i] * std::min(1.0, left), -1.0, 1.0);
        Put16(samples, static_cast<uint16_t>(static_cast<int16_t>(std::lround(v * 32000.0))));
    }

    std::vector<uint8_t> wav;
    PutTag(wav, "RIFF");
    Put32(wav, static_cast<uint32_t>(36 + samples.size()));
    PutTag(wav, "WAVE");
    PutTag(wav, "fmt ");
    Put32(wav, 16);
    Put16(wav, 1);      // PCM
    Put16(wav, 1);      // mono
    Put32(wav, kRate);
    Put32(wav, kRate * 2);
    Put16(wav, 2);      // bytes per frame
    Put16(wav, 16);     // bits per sample
    PutTag(wav, "data");
    Put32(wav, static_cast<uint32_t>(samples.size()));
    wav.insert(wav.end(), samples.begin(), samples.end());

    FILE* f = std::fopen(argv[1], "wb");
    if (!f || std::fwrite(wav.data(), 1, wav.size(), f) != wav.size() || std::fclose(f) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
