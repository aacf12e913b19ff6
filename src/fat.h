// The format file: the data file's index, a flat run of 52-byte track records
// with no header, read whole into the track table.
#ifndef ORVELUNE_FAT_H_
#define ORVELUNE_FAT_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace orvelune {

// One track. On disk, little-endian:
//   0  16 bytes  name, ending at the first NUL or taking all 16 bytes
//  16  u32       offset of the track's first audio byte in the data file
//  20   8 bytes  not interpreted
//  28  u32       length of the track in bytes
//  32  20 bytes  not interpreted
struct tbgmrec {
  static constexpr size_t kSize = 52;
  static constexpr size_t kNameSize = 16;

  std::array<char, kNameSize> name{};
  uint32_t offset = 0;
  uint32_t length = 0;

  // The name as a byte string: up to the first NUL, at most 16 bytes.
  std::string Name() const;

  static tbgmrec Decode(const unsigned char* bytes);
  // The record's 52 bytes; the uninterpreted ones are zero.
  std::array<unsigned char, kSize> Encode() const;
};

using tbgmfat = std::vector<tbgmrec>;

// Fills `table` (empty on entry) with the records of the format file `name`.
// Prints "Warning: format file's size is not even to one record size." when
// the file's size leaves a remainder other than 0 or 17 bytes after its last
// whole record; that remainder is never read. Records that a short read does
// not reach (a file that shrank while being read) stay zero.
// Raises EFOpenError when the file cannot be opened, EReadError when the
// system fails the read, EOutOfMemory when the table does not fit. The file
// is closed again on every path. When `id` is given, it receives the file's
// identity, so that the split can keep from writing over it.
void ReadFat(Platform& platform, const std::string& name, tbgmfat& table, FileId* id = nullptr);

}  // namespace orvelune

#endif  // ORVELUNE_FAT_H_
