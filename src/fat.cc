#include "fat.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

#include "errors.h"

namespace orvelune {
namespace {

uint32_t GetU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutU32(unsigned char* p, uint32_t value) {
  p[0] = static_cast<unsigned char>(value);
  p[1] = static_cast<unsigned char>(value >> 8);
  p[2] = static_cast<unsigned char>(value >> 16);
  p[3] = static_cast<unsigned char>(value >> 24);
}

constexpr size_t kOffsetField = 16;
constexpr size_t kLengthField = 28;

// A remainder of exactly 17 bytes after the last record has always been
// accepted in silence, as a trailer that some archives carry.
constexpr uint64_t kSilentTrailer = 17;

}  // namespace

std::string tbgmrec::Name() const {
  const auto end = std::find(name.begin(), name.end(), '\0');
  return std::string(name.begin(), end);
}

tbgmrec tbgmrec::Decode(const unsigned char* bytes) {
  tbgmrec record;
  std::copy(bytes, bytes + kNameSize, record.name.begin());
  record.offset = GetU32(bytes + kOffsetField);
  record.length = GetU32(bytes + kLengthField);
  return record;
}

std::array<unsigned char, tbgmrec::kSize> tbgmrec::Encode() const {
  std::array<unsigned char, kSize> bytes{};
  std::copy(name.begin(), name.end(), bytes.begin());
  PutU32(bytes.data() + kOffsetField, offset);
  PutU32(bytes.data() + kLengthField, length);
  return bytes;
}

void ReadFat(Platform& platform, const std::string& name, tbgmfat& table, FileId* id) {
  std::unique_ptr<File> file = platform.OpenRead(name);
  if (id != nullptr) *id = file->Id();
  const uint64_t size = file->Size();

  const uint64_t remainder = size % tbgmrec::kSize;
  const bool trailer = size >= kSilentTrailer && (size - kSilentTrailer) % tbgmrec::kSize == 0;
  if (remainder != 0 && !trailer) {
    platform.WriteOut(std::string("Warning: format file's size is not even to one record size.") +
                      platform.LineBreak());
  }

  const uint64_t count = size / tbgmrec::kSize;
  std::vector<unsigned char> bytes;
  try {
    if (count > SIZE_MAX / tbgmrec::kSize) throw std::bad_alloc();
    // Slots that the read does not reach stay zero.
    bytes.resize(static_cast<size_t>(count) * tbgmrec::kSize);
    table.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    throw EOutOfMemory();
  } catch (const std::length_error&) {
    throw EOutOfMemory();
  }
  // The whole table in one read; the bytes after the last record stay unread.
  file->Read(bytes.data(), bytes.size());
  file->Close();

  for (size_t i = 0; i < table.size(); ++i) {
    table[i] = tbgmrec::Decode(bytes.data() + i * tbgmrec::kSize);
  }
}

}  // namespace orvelune
