// Writes the app's four short notification tones as 16-bit mono WAV files at build time. The tones
// are synthesised here from a few sine partials, so the app ships sounds of its own.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {
constexpr int kRate = 44100;
constexpr double kPi = 3.14159265358979323846;

struct Partial {
    double freq;  // Hz at the start
    double glide; // Hz per second (negative falls)
    double level;
    double decay; // per second
};

std::vector<int16_t> synth(double seconds, const std::vector<Partial> &partials) {
    const int n = int(seconds * kRate);
    std::vector<int16_t> out(n);
    std::vector<double> phase(partials.size(), 0.0);
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        double v = 0;
        for (size_t k = 0; k < partials.size(); ++k) {
            const Partial &p = partials[k];
            phase[k] += 2 * kPi * (p.freq + p.glide * t) / kRate;
            v += p.level * std::exp(-p.decay * t) * std::sin(phase[k]);
        }
        // A 4 ms rise and a 10 ms fall keep the edges free of clicks.
        const double rise = std::min(1.0, t / 0.004);
        const double fall = std::min(1.0, (seconds - t) / 0.010);
        v *= rise * fall * 0.55;
        out[i] = int16_t(std::lround(std::clamp(v, -1.0, 1.0) * 32767));
    }
    return out;
}

void put32(std::FILE *f, uint32_t v) {
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, f);
}
void put16(std::FILE *f, uint16_t v) {
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

bool writeWav(const std::string &path, const std::vector<int16_t> &s) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const uint32_t data = uint32_t(s.size() * 2);
    std::fwrite("RIFF", 1, 4, f);
    put32(f, 36 + data);
    std::fwrite("WAVEfmt ", 1, 8, f);
    put32(f, 16);
    put16(f, 1); // PCM
    put16(f, 1); // mono
    put32(f, kRate);
    put32(f, kRate * 2);
    put16(f, 2);
    put16(f, 16);
    std::fwrite("data", 1, 4, f);
    put32(f, data);
    for (int16_t v : s)
        put16(f, uint16_t(v));
    const bool ok = std::fflush(f) == 0;
    return std::fclose(f) == 0 && ok;
}
} // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    struct Tone {
        const char *file;
        double seconds;
        std::vector<Partial> partials;
    };
    const Tone tones[] = {
        // A bell: a bright fundamental with inharmonic partials that die away faster.
        {"glass.wav", 0.9, {{1318.5, 0, 0.6, 4.5}, {3639.0, 0, 0.25, 9}, {5270.0, 0, 0.12, 14}}},
        // A clear single ping with one octave above it.
        {"ping.wav", 0.5, {{1760.0, 0, 0.7, 8}, {3520.0, 0, 0.15, 16}}},
        // A short, low pop whose pitch drops.
        {"pop.wav", 0.12, {{620.0, -3000, 0.9, 30}, {1240.0, -6000, 0.2, 45}}},
        // A tiny high tick.
        {"tink.wav", 0.18, {{3136.0, 0, 0.7, 28}, {6272.0, 0, 0.15, 40}}},
    };
    for (const Tone &t : tones) {
        if (!writeWav(dir + "/" + t.file, synth(t.seconds, t.partials))) {
            std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), t.file);
            return 1;
        }
    }
    return 0;
}
