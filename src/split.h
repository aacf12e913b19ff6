// The split run: the program's entry point and its one pass over the track
// table.
#ifndef ORVELUNE_SPLIT_H_
#define ORVELUNE_SPLIT_H_

#include <string>
#include <vector>

#include "platform.h"

namespace orvelune {

// Writes one wave file per record of the format file `FmtName`, named by the
// record, into the folder `OutDir`, from the data file `DatName`. Prints a
// line per track before writing it, and warnings where a track does not
// start where the tracks before it end (counted from byte 16) or the tracks
// do not end at the data file's end. Stops at the first error, which it
// raises; tracks written before it stay complete. Never writes over the
// format or the data file.
void SplitBgm(Platform& platform, const std::string& DatName, const std::string& FmtName,
              const std::string& OutDir);

// The whole program for the command-line arguments `args` (without the
// program's name). Returns the exit status: 0 when every track was written,
// 1 after a reported error or one outside the split.
int RunProgram(Platform& platform, const std::vector<std::string>& args);

}  // namespace orvelune

#endif  // ORVELUNE_SPLIT_H_
