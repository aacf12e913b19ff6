#include "split.h"

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <new>

#include "errors.h"
#include "fat.h"
#include "wave.h"

namespace orvelune {
namespace {

const char kDefaultFmtName[] = "qvbgm_95.fmt";
const char kDatName[] = "qvbgm.dat";
const char kOutDir[] = ".";

// The data file's lead-in, before the first track; never read.
constexpr uint32_t kLeadIn = 16;

void WriteLine(Platform& platform, const std::string& text) {
  platform.WriteOut(text + platform.LineBreak());
}

// True when the track's file would not lie inside the output folder: a
// folder step of the name is "..", or the system's own reading of the name
// (which may fold other steps away, such as "..." on Windows) leads outside.
bool LeavesFolder(Platform& platform, const std::string& folder, const std::string& path,
                  const std::string& name) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && !platform.IsDelimiter(name[i])) continue;
    if (i - start == 2 && name.compare(start, 2, "..") == 0) return true;
    start = i + 1;
  }
  return platform.FullPath(path).compare(0, folder.size(), folder) != 0;
}

// "/music/qvbgm_95.fmt" -> "/music/"
std::string FolderOf(const Platform& platform, const std::string& full_path) {
  size_t end = full_path.size();
  while (end > 0 && !platform.IsDelimiter(full_path[end - 1])) --end;
  return full_path.substr(0, end);
}

std::string FormatAddress(const void* address) {
  char text[2 * sizeof(void*) + 1];
  std::snprintf(text, sizeof text, "%0*" PRIXPTR, static_cast<int>(2 * sizeof(void*)),
                reinterpret_cast<uintptr_t>(address));
  return text;
}

// What the run-time library prints for an error that nobody caught; the
// program then ends with status 1.
void ReportUncaught(Platform& platform, const Exception& error) {
  const std::string line_break = platform.LineBreak();
  std::string message = error.Message();
  if (message.empty() || message.back() != '.') message += '.';
  platform.WriteErr("Exception " + std::string(error.ClassName()) + " in module " +
                    platform.ModuleName() + " at " + FormatAddress(error.Address()) + "." +
                    line_break + message + line_break + line_break);
}

// The one report of an error that stopped the split. The break after the
// class name is a bare line feed on every system.
void ReportError(Platform& platform, const Exception& error) {
  platform.WriteOut("Exception <" + std::string(error.ClassName()) + ">:\n" + error.Message() +
                    platform.LineBreak());
}

}  // namespace

void SplitBgm(Platform& platform, const std::string& DatName, const std::string& FmtName,
              const std::string& OutDir) {
  // A folder that cannot be made shows up as the first track that cannot be
  // created.
  platform.MakeDirs(OutDir);
  std::string prefix = OutDir;
  if (!prefix.empty() && !platform.IsDelimiter(prefix.back())) prefix += platform.Delimiter();

  tbgmfat table;
  FileId fmt_id;
  ReadFat(platform, FmtName, table, &fmt_id);

  // Other programs may read the data file while the split holds it, but not
  // write it.
  const std::unique_ptr<File> data = platform.OpenRead(DatName);
  const std::vector<FileId> inputs = {fmt_id, data->Id()};
  const std::string folder = platform.FullPath(prefix);

  // Where the next track should start if the tracks lie back to back after
  // the lead-in. A running sum: after one track out of place every later
  // track warns too. Wraps at 2^32, as the record fields do.
  uint32_t LastOffset = kLeadIn;
  for (const tbgmrec& record : table) {
    const std::string name = record.Name();
    WriteLine(platform, name + "...");
    const std::string path = prefix + name;
    if (LeavesFolder(platform, folder, path, name)) {
      throw EFCreateError(platform.FullPath(path), platform.RefusalText(Refusal::kOutsideFolder));
    }
    WriteWave(platform, path, *data, record.offset, record.length, inputs);
    if (record.offset != LastOffset) WriteLine(platform, "Warning: LastOffset differs.");
    LastOffset += record.length;
  }
  if (data->Size() != LastOffset) {
    WriteLine(platform, "Warning: LastOffset doesn't point to the end of the BGM DAT file.");
  }
}

int RunProgram(Platform& platform, const std::vector<std::string>& args) {
  try {
    WriteLine(platform,
              "~ Orvelune ~\tby the Orvelune authors\torvelune@example.org"
              "\thttps://orvelune.example.org/");
    WriteLine(platform, "\t11 Feb 10");
    WriteLine(platform, "");

    std::string FmtName = kDefaultFmtName;
    if (!args.empty() && !args[0].empty()) FmtName = args[0];
    // The split runs in the format file's folder, so that the data file is
    // found and the wave files land beside it. The full path still names the
    // format file there, also when it was given relative to the old folder.
    FmtName = platform.FullPath(FmtName);
    platform.ChangeDir(FolderOf(platform, FmtName));

    bool failed = false;
    try {
      SplitBgm(platform, kDatName, FmtName, kOutDir);
    } catch (const Exception& error) {
      failed = true;
      ReportError(platform, error);
    } catch (const std::bad_alloc&) {
      failed = true;
      ReportError(platform, EOutOfMemory());
    }
    WriteLine(platform, "Spliting finished.");
    platform.ReadLine();  // wait for Enter, so a console window stays open
    return failed ? 1 : 0;
  } catch (const Exception& error) {
    ReportUncaught(platform, error);
  } catch (const std::bad_alloc&) {
    ReportUncaught(platform, EOutOfMemory());
  }
  return 1;
}

}  // namespace orvelune
