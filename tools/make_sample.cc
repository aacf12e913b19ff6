// Writes a sample archive of our own into a folder: "qvbgm_95.fmt" and
// "qvbgm.dat", holding a few tracks of synthesized chords, back to back
// after a 16-byte lead-in, as Orvelune expects them.
//
//   orvelune-sample FOLDER [--tracks N] [--seconds S | --bytes B]
//
// --bytes sets each track's length in bytes (rounded down to whole stereo
// frames), for archives of many small tracks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "fat.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kSampleRate = 44100;
constexpr int kFrameBytes = 4;  // 16-bit stereo
const char kLeadIn[16] = {'O', 'r', 'v', 'e', 'l', 'u', 'n', 'e', ' ', 's', 'a', 'm', 'p', 'l', 'e', '\n'};

int Usage() {
  std::cerr << "usage: orvelune-sample FOLDER [--tracks N] [--seconds S | --bytes B]\n";
  return 2;
}

bool ParseCount(const char* text, uint64_t max, uint64_t& value) {
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text, &end, 10);
  if (end == text || *end != '\0' || parsed > max) return false;
  value = parsed;
  return true;
}

void PutS16(std::vector<char>& out, double sample) {
  const long value = std::lround(std::fmax(-1.0, std::fmin(1.0, sample)) * 32767.0);
  out.push_back(static_cast<char>(value & 0xff));
  out.push_back(static_cast<char>((value >> 8) & 0xff));
}

// Track `index`: a major chord on its own root, the third on the left and
// the fifth on the right, with short fades so that it starts and ends clean.
void Synthesize(uint64_t index, uint64_t frames, std::vector<char>& out) {
  const double root = 220.0 * std::pow(2.0, static_cast<double>(index % 12) / 12.0);
  const double third = root * std::pow(2.0, 4.0 / 12.0);
  const double fifth = root * std::pow(2.0, 7.0 / 12.0);
  const double fade = 0.02 * kSampleRate;
  out.clear();
  out.reserve(frames * kFrameBytes);
  for (uint64_t i = 0; i < frames; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double edge = std::fmin(static_cast<double>(i), static_cast<double>(frames - 1 - i));
    const double gain = 0.3 * std::fmin(1.0, edge / fade);
    const double base = std::sin(2 * kPi * root * t);
    PutS16(out, gain * (base + 0.5 * std::sin(2 * kPi * third * t)) / 1.5);
    PutS16(out, gain * (base + 0.5 * std::sin(2 * kPi * fifth * t)) / 1.5);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string folder = argv[1];
  uint64_t tracks = 4;
  uint64_t frames = 3 * kSampleRate;
  for (int i = 2; i < argc; i += 2) {
    if (i + 1 >= argc) return Usage();
    uint64_t value = 0;
    if (std::strcmp(argv[i], "--tracks") == 0 && ParseCount(argv[i + 1], 1u << 24, value)) {
      tracks = value;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && ParseCount(argv[i + 1], 3600, value)) {
      frames = value * kSampleRate;
    } else if (std::strcmp(argv[i], "--bytes") == 0 &&
               ParseCount(argv[i + 1], UINT32_MAX, value)) {
      frames = value / kFrameBytes;
    } else {
      return Usage();
    }
  }

  const std::string fmt_path = folder + "/qvbgm_95.fmt";
  const std::string dat_path = folder + "/qvbgm.dat";
  std::ofstream fmt(fmt_path, std::ios::binary | std::ios::trunc);
  std::ofstream dat(dat_path, std::ios::binary | std::ios::trunc);
  if (!fmt || !dat) {
    std::cerr << "orvelune-sample: cannot create the archive in " << folder << "\n";
    return 1;
  }

  dat.write(kLeadIn, sizeof kLeadIn);
  uint64_t offset = sizeof kLeadIn;
  std::vector<char> audio;
  for (uint64_t index = 0; index < tracks; ++index) {
    // Many tracks of one length sound alike: synthesize each chord once.
    if (index < 12 || audio.empty()) Synthesize(index, frames, audio);
    if (offset + audio.size() > UINT32_MAX) {
      std::cerr << "orvelune-sample: the tracks do not fit in 4 GiB of data\n";
      return 1;
    }
    orvelune::tbgmrec record;
    char name[32];
    std::snprintf(name, sizeof name, "bgm_%02llu.wav", static_cast<unsigned long long>(index + 1));
    std::memcpy(record.name.data(), name, std::min(std::strlen(name), record.name.size()));
    record.offset = static_cast<uint32_t>(offset);
    record.length = static_cast<uint32_t>(audio.size());
    const auto bytes = record.Encode();
    fmt.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    dat.write(audio.data(), static_cast<std::streamsize>(audio.size()));
    offset += audio.size();
  }
  fmt.close();
  dat.close();
  if (!fmt || !dat) {
    std::cerr << "orvelune-sample: writing the archive in " << folder << " failed\n";
    return 1;
  }
  std::cout << "Wrote " << tracks << " tracks (" << offset << " bytes of data) to " << fmt_path
            << " and " << dat_path << "\n";
  return 0;
}
