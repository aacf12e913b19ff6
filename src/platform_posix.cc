// The platform on POSIX systems (Linux).
//
// Console errors become EInOutError with the run-time library's codes, so
// that reports read alike on every system the program is built for:
//
//   errno                             code  text
//   ENOENT                              2   File not found
//   ENOTDIR, ENAMETOOLONG, ELOOP        3   Invalid filename
//   EMFILE, ENFILE                      4   Too many open files
//   EACCES, EPERM, EROFS                5   File access denied
//   EBADF (descriptor closed)           6   I/O error 6      (as Windows' invalid handle)
//   ENOSPC, EDQUOT, EFBIG, short write 101  Disk full
//   EPIPE (reader gone)               109   I/O error 109    (as Windows' broken pipe)
//   EIO                              1117   I/O error 1117   (as Windows' device I/O error)
//   any other                        errno  I/O error <errno>
#include <fcntl.h>
#include <signal.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "errors.h"
#include "platform.h"

namespace orvelune {
namespace {

std::string ErrnoText(int error) { return TrimSystemText(std::strerror(error)); }

int InOutCode(int error) {
  switch (error) {
    case ENOENT:
      return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return 3;
    case EMFILE:
    case ENFILE:
      return 4;
    case EACCES:
    case EPERM:
    case EROFS:
      return 5;
    case EBADF:
      return 6;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return 101;
    case EPIPE:
      return 109;
    case EIO:
      return 1117;
    default:
      return error;
  }
}

// The target is full: the errors of a write that the disk takes short.
bool IsFull(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT; }

// One system call copies at most this much.
size_t Chunk(uint64_t left) { return static_cast<size_t>(std::min<uint64_t>(left, 1u << 30)); }

[[noreturn]] void RaiseOSError(int error) { throw EOSError(error, ErrnoText(error), "\n"); }

FileId IdOf(const struct stat& st) {
  return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

class PosixFile final : public File {
 public:
  PosixFile(int fd, const struct stat& st, bool writable) : fd_(fd), writable_(writable) {
    id_ = IdOf(st);
  }
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }

  uint64_t Size() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) RaiseOSError(errno);
    return static_cast<uint64_t>(st.st_size);
  }

  void Seek(uint64_t position) override {
    if (::lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) RaiseOSError(errno);
  }

  size_t Read(void* buffer, size_t count) override {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const ssize_t n = ::read(fd_, bytes + done, count - done);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw EReadError();
      }
      if (n == 0) break;  // end of file
      done += static_cast<size_t>(n);
    }
    return done;
  }

  void WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    const auto* bytes = static_cast<const char*>(buffer);
    while (count > 0) {
      const ssize_t n = ::pwrite(fd_, bytes, count, static_cast<off_t>(offset));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw EWriteError();
      bytes += n;
      offset += static_cast<uint64_t>(n);
      count -= static_cast<size_t>(n);
    }
  }

  // copy_file_range(2) moves the bytes inside the kernel; where it cannot
  // (older kernels across file systems, file systems without it), sendfile(2)
  // still saves the round trip through the program.
  uint64_t CopyFrom(File& source, uint64_t from, uint64_t count, uint64_t offset) override {
    auto* in = dynamic_cast<PosixFile*>(&source);
    if (in == nullptr) return 0;
    uint64_t done = 0;
    while (done < count) {
      loff_t in_at = static_cast<loff_t>(from + done);
      loff_t out_at = static_cast<loff_t>(offset + done);
      const ssize_t n = ::copy_file_range(in->fd_, &in_at, fd_, &out_at, Chunk(count - done), 0);
      if (n > 0) {
        done += static_cast<uint64_t>(n);
      } else if (n == 0) {
        return done;  // the source has ended, or this copy is not offered here
      } else if (errno != EINTR) {
        if (IsFull(errno)) throw EWriteError();
        break;
      }
    }
    if (done == count) return done;
    // sendfile writes at this file's position.
    if (::lseek(fd_, static_cast<off_t>(offset + done), SEEK_SET) < 0) return done;
    while (done < count) {
      off_t in_at = static_cast<off_t>(from + done);
      const ssize_t n = ::sendfile(fd_, in->fd_, &in_at, Chunk(count - done));
      if (n > 0) {
        done += static_cast<uint64_t>(n);
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        if (IsFull(errno)) throw EWriteError();
        break;  // left to the caller's own copy, which reports read errors as such
      }
    }
    return done;
  }

  void SetSize(uint64_t size) override {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) RaiseOSError(errno);
  }

  void Close() override {
    if (fd_ < 0) return;
    const int result = ::close(fd_);
    fd_ = -1;
    // After close() the descriptor is gone whatever it returned; EINTR does
    // not mean that data was lost.
    if (result != 0 && errno != EINTR && writable_) throw EWriteError();
  }

 private:
  int fd_;
  bool writable_;
};

// A file's name in its folder, without the folders before it.
std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class PosixPlatform final : public Platform {
 public:
  PosixPlatform() {
    // A closed standard descriptor would be handed to the next file opened,
    // and console lines would land in a wave file. Hold the slot with
    // /dev/null opened the wrong way round, so that the console's reads and
    // writes still fail as on a closed descriptor.
    ReserveIfClosed(STDIN_FILENO, O_WRONLY);
    ReserveIfClosed(STDOUT_FILENO, O_RDONLY);
    ReserveIfClosed(STDERR_FILENO, O_RDONLY);
    // A console write to a pipe whose reader is gone fails with EPIPE and is
    // reported, instead of ending the program silently.
    ::signal(SIGPIPE, SIG_IGN);
  }

  std::unique_ptr<File> OpenRead(const std::string& path) override {
    // POSIX has no share modes: writers cannot be denied here. Create()
    // refuses to write over the inputs instead. O_NONBLOCK keeps a FIFO
    // from blocking the open; it does not change reads of regular files.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw EFOpenError(FullPath(path), ErrnoText(errno));
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0) {
      error = errno;
    } else if (S_ISDIR(st.st_mode)) {
      error = EISDIR;
    }
    if (error != 0) {
      ::close(fd);
      throw EFOpenError(FullPath(path), ErrnoText(error));
    }
    return std::make_unique<PosixFile>(fd, st, /*writable=*/false);
  }

  std::unique_ptr<File> Create(const std::string& path,
                               const std::vector<FileId>& inputs) override {
    // Opened without O_TRUNC: the file is truncated only once it is known
    // not to be one of the inputs. O_NONBLOCK: a FIFO without a reader fails
    // at once instead of hanging the run.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) throw EFCreateError(FullPath(path), ErrnoText(errno));
    struct stat st;
    std::string refusal;
    if (::fstat(fd, &st) != 0) {
      refusal = ErrnoText(errno);
    } else {
      for (const FileId& input : inputs) {
        if (IdOf(st) == input) refusal = RefusalText(Refusal::kInputFile);
      }
      // A new file is empty already.
      if (refusal.empty() && st.st_size != 0 && ::ftruncate(fd, 0) != 0) refusal = ErrnoText(errno);
    }
    if (!refusal.empty()) {
      ::close(fd);
      throw EFCreateError(FullPath(path), refusal);
    }
    return std::make_unique<PosixFile>(fd, st, /*writable=*/true);
  }

  std::string FullPath(const std::string& path) override {
    std::string joined = path;
    if (path.empty() || path[0] != '/') joined = WorkingDir() + "/" + path;
    // Fold "." and ".." by name, as the shell does, without following links.
    std::vector<std::string> parts;
    bool ends_in_folder = false;
    size_t start = 0;
    while (start <= joined.size()) {
      size_t end = joined.find('/', start);
      if (end == std::string::npos) end = joined.size();
      const std::string part = joined.substr(start, end - start);
      ends_in_folder = part.empty() || part == "." || part == "..";
      if (part == "..") {
        if (!parts.empty()) parts.pop_back();
      } else if (!part.empty() && part != ".") {
        parts.push_back(part);
      }
      start = end + 1;
    }
    std::string full;
    for (const std::string& part : parts) full += "/" + part;
    if (full.empty() || ends_in_folder) full += "/";
    return full;
  }

  void ChangeDir(const std::string& folder) override {
    working_dir_.clear();
    if (::chdir(folder.c_str()) != 0) RaiseInOutError(InOutCode(errno));
  }

  bool MakeDirs(const std::string& folder) override {
    struct stat st;
    if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const size_t slash = folder.find_last_of('/', folder.size() > 1 ? folder.size() - 2 : 0);
    if (slash != std::string::npos && slash > 0 && !MakeDirs(folder.substr(0, slash))) {
      return false;
    }
    return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
  }

  bool IsDelimiter(char c) const override { return c == '/'; }
  char Delimiter() const override { return '/'; }
  const char* LineBreak() const override { return "\n"; }

  void WriteOut(std::string_view bytes) override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseInOutError(InOutCode(errno));
      if (n == 0) RaiseInOutError(101);
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }

  void WriteErr(std::string_view bytes) noexcept override {
    while (!bytes.empty()) {
      const ssize_t n = ::write(STDERR_FILENO, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }

  void ReadLine() override {
    char c = 0;
    while (c != '\n') {
      const ssize_t n = ::read(STDIN_FILENO, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) RaiseInOutError(InOutCode(errno));
      if (n == 0) return;  // end of input
    }
  }

  std::string ModuleName() override {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) return "orvelune";
    return BaseName(std::string(buffer, static_cast<size_t>(n)));
  }

  std::string RefusalText(Refusal refusal) override {
    switch (refusal) {
      case Refusal::kInputFile:
        return ErrnoText(ETXTBSY);
      case Refusal::kOutsideFolder:
        return ErrnoText(EACCES);
    }
    return ErrnoText(EINVAL);
  }

 private:
  static void ReserveIfClosed(int fd, int flags) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) return;
    const int opened = ::open("/dev/null", flags);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }

  // Asked of the system once per change of folder, as every track's path is
  // expanded against it.
  const std::string& WorkingDir() {
    if (working_dir_.empty()) working_dir_ = CurrentDir();
    return working_dir_;
  }

  static std::string CurrentDir() {
    std::string buffer(256, '\0');
    while (::getcwd(&buffer[0], buffer.size()) == nullptr) {
      if (errno != ERANGE) RaiseInOutError(InOutCode(errno));
      buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
  }

  std::string working_dir_;
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace orvelune
