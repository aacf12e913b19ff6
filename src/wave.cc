#include "wave.h"

#include <algorithm>
#include <memory>

#include "errors.h"

namespace orvelune {
namespace {

// Large enough that a copy costs few system calls, small enough that memory
// use stays flat whatever the track's length.
constexpr size_t kCopyBufferSize = 1 << 20;

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kChannels = 2;
constexpr uint32_t kSampleRate = 44100;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint16_t kBlockAlign = kChannels * kBitsPerSample / 8;  // 4
constexpr uint32_t kByteRate = kSampleRate * kBlockAlign;         // 176,400

constexpr size_t kRiffHeadSize = 12;  // "RIFF", size, "WAVE"

unsigned char* Put(unsigned char* p, const char (&tag)[5]) {
  return std::copy(tag, tag + 4, p);
}

unsigned char* PutU16(unsigned char* p, uint16_t value) {
  *p++ = static_cast<unsigned char>(value);
  *p++ = static_cast<unsigned char>(value >> 8);
  return p;
}

unsigned char* PutU32(unsigned char* p, uint32_t value) {
  p = PutU16(p, static_cast<uint16_t>(value));
  return PutU16(p, static_cast<uint16_t>(value >> 16));
}

}  // namespace

std::array<unsigned char, kWaveHeaderSize> WaveHeader(uint32_t length) {
  std::array<unsigned char, kWaveHeaderSize> header{};
  unsigned char* p = header.data();
  p = Put(p, "RIFF");
  // The RIFF size counts all that follows its own field: "WAVE" (4), the
  // "fmt " chunk (8 + 16) and the data chunk's head (8), 36 bytes, plus the
  // audio. It wraps for tracks within 36 bytes of 4 GiB, as the field is
  // 32 bits wide.
  p = PutU32(p, static_cast<uint32_t>(kWaveHeaderSize - 8 + length));
  p = Put(p, "WAVE");
  p = Put(p, "fmt ");
  p = PutU32(p, 16);  // size of the format block
  p = PutU16(p, kFormatPcm);
  p = PutU16(p, kChannels);
  p = PutU32(p, kSampleRate);
  p = PutU32(p, kByteRate);
  p = PutU16(p, kBlockAlign);
  p = PutU16(p, kBitsPerSample);
  p = Put(p, "data");
  PutU32(p, length);
  return header;
}

void WriteWave(Platform& platform, const std::string& path, File& source, uint32_t offset,
               uint32_t length, const std::vector<FileId>& inputs) {
  const auto header = WaveHeader(length);
  std::unique_ptr<File> output = platform.Create(path, inputs);

  // Until the copy has succeeded the RIFF head stays zero.
  output->SetSize(kRiffHeadSize);
  output->WriteAt(kRiffHeadSize, header.data() + kRiffHeadSize, kWaveHeaderSize - kRiffHeadSize);

  uint64_t copied = length > 0 ? output->CopyFrom(source, offset, length, kWaveHeaderSize) : 0;
  if (copied < length) {
    // The system could not copy it all: through a buffer, which also tells
    // a source that has ended.
    source.Seek(offset + copied);
    const size_t buffer_size = std::min<uint64_t>(kCopyBufferSize, length - copied);
    const std::unique_ptr<unsigned char[]> buffer(new unsigned char[buffer_size]);
    while (copied < length) {
      const size_t wanted = std::min<uint64_t>(buffer_size, length - copied);
      const size_t got = source.Read(buffer.get(), wanted);
      // Keep what could be read, then report the short source.
      if (got > 0) output->WriteAt(kWaveHeaderSize + copied, buffer.get(), got);
      if (got < wanted) throw EReadError();
      copied += got;
    }
  }

  output->WriteAt(0, header.data(), kRiffHeadSize);
  output->Close();
}

}  // namespace orvelune
