// The program's only view of the operating system: the console, files, paths
// and the working directory. One implementation per system is compiled in
// (platform_posix.cc or platform_win32.cc); tests may put their own in its
// place. Failures are raised as the errors of errors.h, already carrying the
// system's text for the failure, so callers never see an error code.
#ifndef ORVELUNE_PLATFORM_H_
#define ORVELUNE_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvelune {

// Which file a name leads to, whatever name, link or alias was used.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;

  friend bool operator==(const FileId& a, const FileId& b) {
    return a.volume == b.volume && a.index == b.index;
  }
  friend bool operator!=(const FileId& a, const FileId& b) { return !(a == b); }
};

// An open file. The destructor closes it on every path; Close() closes it
// too, and reports a failure to do so, which loses written data on some file
// systems.
class File {
 public:
  File() = default;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  virtual ~File() = default;

  // Size in bytes. EOSError on failure.
  virtual uint64_t Size() = 0;
  // Moves the position for the next read; a position past the end is
  // allowed. EOSError on failure.
  virtual void Seek(uint64_t position) = 0;
  // Reads up to `count` bytes at the position and advances it. Returns fewer
  // only where the file ends; 0 at its end. EReadError when the system fails
  // the read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes all `count` bytes at `offset`, leaving the position alone.
  // EWriteError when the system fails the write or takes fewer bytes.
  virtual void WriteAt(uint64_t offset, const void* buffer, size_t count) = 0;
  // Copies up to `count` bytes from `source`, starting at `from`, to
  // `offset` in this file by the system's own means, without passing them
  // through the program. Returns the number copied: fewer where the source
  // ends, or where the system offers no such copy for these files (0 then);
  // the caller copies the rest itself, and learns on its own read whether
  // the source has ended. `source`'s position is left undefined. EWriteError
  // when this file takes fewer bytes (a full disk).
  virtual uint64_t CopyFrom(File& source, uint64_t from, uint64_t count, uint64_t offset) {
    (void)source, (void)from, (void)count, (void)offset;
    return 0;
  }
  // Cuts or extends (with zero bytes) the file to `size`. EOSError on failure.
  virtual void SetSize(uint64_t size) = 0;
  // Closes the file; later calls do nothing. EWriteError when the system
  // reports that written data may be lost.
  virtual void Close() = 0;

  FileId Id() const { return id_; }

 protected:
  FileId id_;
};

// Texts of the system's own, for refusals that the program makes itself.
enum class Refusal {
  kInputFile,     // the output would overwrite one of the input files
  kOutsideFolder  // the output's name climbs out of the output folder
};

class Platform {
 public:
  Platform() = default;
  Platform(const Platform&) = delete;
  Platform& operator=(const Platform&) = delete;
  virtual ~Platform() = default;

  // Opens an existing file for reading. Others may read it while it is open
  // but not write it, where the system can deny them. EFOpenError with the
  // file's full path on failure, also when `path` names a folder.
  virtual std::unique_ptr<File> OpenRead(const std::string& path) = 0;

  // Creates `path` for writing, held exclusively where the system allows it,
  // replacing a file of that name; the new file is empty. A file that is one
  // of `inputs` (by any name) is left alone and refused. EFCreateError with
  // the file's full path on failure.
  virtual std::unique_ptr<File> Create(const std::string& path,
                                       const std::vector<FileId>& inputs) = 0;

  // `path` as a full path against the working directory, with "." and ".."
  // folded away; a trailing delimiter is kept. EInOutError when the working
  // directory cannot be found.
  virtual std::string FullPath(const std::string& path) = 0;

  // Makes `folder` the working directory. EInOutError on failure.
  virtual void ChangeDir(const std::string& folder) = 0;

  // Creates `folder` and any missing folders above it. False when it could
  // not; true also when it exists already.
  virtual bool MakeDirs(const std::string& folder) = 0;

  virtual bool IsDelimiter(char c) const = 0;
  virtual char Delimiter() const = 0;
  // The console's line break: "\n" or "\r\n".
  virtual const char* LineBreak() const = 0;

  // Writes the bytes to standard output at once, unchanged. EInOutError on
  // failure.
  virtual void WriteOut(std::string_view bytes) = 0;
  // Writes the bytes to standard error; failures are ignored, since there is
  // nowhere left to report them.
  virtual void WriteErr(std::string_view bytes) noexcept = 0;
  // Reads one line from standard input and drops it; returns at once at its
  // end. EInOutError on failure.
  virtual void ReadLine() = 0;

  // The program file's name, for the last-resort report.
  virtual std::string ModuleName() = 0;

  virtual std::string RefusalText(Refusal refusal) = 0;
};

// The implementation for the system the program was built for.
std::unique_ptr<Platform> MakeSystemPlatform();

}  // namespace orvelune

#endif  // ORVELUNE_PLATFORM_H_
