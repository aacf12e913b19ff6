// The wave file written for each track: a 44-byte RIFF/WAVE header declaring
// 16-bit stereo PCM at 44,100 samples per second, then the track's bytes as
// the data file holds them.
#ifndef ORVELUNE_WAVE_H_
#define ORVELUNE_WAVE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform.h"

namespace orvelune {

constexpr size_t kWaveHeaderSize = 44;

// The header of a wave file holding `length` audio bytes.
std::array<unsigned char, kWaveHeaderSize> WaveHeader(uint32_t length);

// Writes the wave file `path` with the `length` bytes that start at `offset`
// in `source`, which the caller owns and keeps open. The file is written in
// this order: 12 zero bytes, the format block, the data chunk's head, the
// audio bytes streamed through a fixed buffer, and last the RIFF head, so a
// file whose RIFF head is zero was not finished.
//
// Raises EFCreateError when the file cannot be created or is one of `inputs`
// (which it then leaves alone), EOSError when its size cannot be set,
// EReadError when `source` ends before offset + length, EWriteError when the
// file takes fewer bytes than given. After a failed copy the file stays on
// disk, closed, holding the header's first 44 bytes but the RIFF head and
// every audio byte that could be read. The file is closed on every path.
void WriteWave(Platform& platform, const std::string& path, File& source, uint32_t offset,
               uint32_t length, const std::vector<FileId>& inputs);

}  // namespace orvelune

#endif  // ORVELUNE_WAVE_H_
