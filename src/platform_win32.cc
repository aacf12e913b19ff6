// The platform on Windows, through the Win32 API in its single-byte ("A")
// form: names and console bytes pass through without any change of code page.
//
// Console failures become EInOutError with the system's own error code, as
// the run-time library reports them: 2 "File not found", 3 "Invalid
// filename" (path not found), 4, 5 "File access denied", 6 (invalid
// handle), 109 (broken pipe), 112 (disk full), ...; a write that the console
// takes short is 101 "Disk full".
#include <windows.h>

#include <algorithm>
#include <string>

#include "errors.h"
#include "platform.h"

namespace orvelune {
namespace {

std::string SystemText(DWORD code) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      /*lpSource=*/nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
      reinterpret_cast<char*>(&text), /*nSize=*/0, /*Arguments=*/nullptr);
  std::string result;
  if (length > 0 && text != nullptr) result.assign(text, length);
  ::LocalFree(text);
  return TrimSystemText(result);
}

[[noreturn]] void RaiseOSError(DWORD code) { throw EOSError(code, SystemText(code), "\r\n"); }

FileId IdOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return FileId{info.dwVolumeSerialNumber,
                static_cast<uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

class Win32File final : public File {
 public:
  Win32File(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& info, bool writable)
      : handle_(handle), writable_(writable) {
    id_ = IdOf(info);
  }
  ~Win32File() override {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
  }

  uint64_t Size() override {
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(handle_, &size)) RaiseOSError(::GetLastError());
    return static_cast<uint64_t>(size.QuadPart);
  }

  void Seek(uint64_t position) override {
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(position);
    if (!::SetFilePointerEx(handle_, to, /*lpNewFilePointer=*/nullptr, FILE_BEGIN)) {
      RaiseOSError(::GetLastError());
    }
  }

  size_t Read(void* buffer, size_t count) override {
    auto* bytes = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
      DWORD got = 0;
      if (!::ReadFile(handle_, bytes + done, chunk, &got, /*lpOverlapped=*/nullptr)) {
        throw EReadError();
      }
      if (got == 0) break;  // end of file
      done += got;
    }
    return done;
  }

  void WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    const auto* bytes = static_cast<const char*>(buffer);
    while (count > 0) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
      // On a handle opened for synchronous use, the offset in OVERLAPPED
      // places the write; the call returns when it is done.
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD put = 0;
      if (!::WriteFile(handle_, bytes, chunk, &put, &at) || put == 0) throw EWriteError();
      bytes += put;
      offset += put;
      count -= put;
    }
  }

  void SetSize(uint64_t size) override {
    // SetEndOfFile cuts at the file pointer: move it there and back.
    LARGE_INTEGER zero, here, to;
    zero.QuadPart = 0;
    to.QuadPart = static_cast<LONGLONG>(size);
    if (!::SetFilePointerEx(handle_, zero, &here, FILE_CURRENT) ||
        !::SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle_) ||
        !::SetFilePointerEx(handle_, here, nullptr, FILE_BEGIN)) {
      RaiseOSError(::GetLastError());
    }
  }

  void Close() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    if (!closed && writable_) throw EWriteError();
  }

 private:
  HANDLE handle_;
  bool writable_;
};

class Win32Platform final : public Platform {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ,  // others may read, nobody may write
                                        /*lpSecurityAttributes=*/nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      throw EFOpenError(FullPath(path), SystemText(error));
    }
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(handle, &info)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(handle);
      throw EFOpenError(FullPath(path), SystemText(error));
    }
    return std::make_unique<Win32File>(handle, info, /*writable=*/false);
  }

  std::unique_ptr<File> Create(const std::string& path,
                               const std::vector<FileId>& inputs) override {
    // OPEN_ALWAYS rather than CREATE_ALWAYS: the file is emptied only once it
    // is known not to be one of the inputs. An open input already refuses
    // the open through its share mode; a closed one is caught by identity.
    const HANDLE handle = ::CreateFileA(path.c_str(), GENERIC_WRITE,
                                        /*dwShareMode=*/0,  // exclusive while being written
                                        /*lpSecurityAttributes=*/nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, /*hTemplateFile=*/nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = ::GetLastError();
      throw EFCreateError(FullPath(path), SystemText(error));
    }
    BY_HANDLE_FILE_INFORMATION info{};
    std::string refusal;
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
      // A device name such as "NUL" or "CON" would swallow the track.
      refusal = SystemText(ERROR_INVALID_NAME);
    } else if (!::GetFileInformationByHandle(handle, &info)) {
      refusal = SystemText(::GetLastError());
    } else {
      for (const FileId& input : inputs) {
        if (IdOf(info) == input) refusal = RefusalText(Refusal::kInputFile);
      }
      if (refusal.empty() && !::SetEndOfFile(handle)) refusal = SystemText(::GetLastError());
    }
    if (!refusal.empty()) {
      ::CloseHandle(handle);
      throw EFCreateError(FullPath(path), refusal);
    }
    return std::make_unique<Win32File>(handle, info, /*writable=*/true);
  }

  std::string FullPath(const std::string& path) override {
    std::string full(MAX_PATH, '\0');
    for (;;) {
      const DWORD length = ::GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()),
                                              &full[0], /*lpFilePart=*/nullptr);
      if (length == 0) return path;  // nothing better to show
      if (length < full.size()) {
        full.resize(length);
        return full;
      }
      full.resize(length);
    }
  }

  void ChangeDir(const std::string& folder) override {
    if (!::SetCurrentDirectoryA(folder.c_str())) RaiseInOutError(InOutCode(::GetLastError()));
  }

  bool MakeDirs(const std::string& folder) override {
    std::string trimmed = folder;
    while (trimmed.size() > 1 && IsDelimiter(trimmed.back())) trimmed.pop_back();
    const DWORD attributes = ::GetFileAttributesA(trimmed.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t cut = trimmed.find_last_of("\\/");
    if (cut != std::string::npos && cut > 0 && trimmed[cut - 1] != ':' &&
        !MakeDirs(trimmed.substr(0, cut))) {
      return false;
    }
    return ::CreateDirectoryA(trimmed.c_str(), /*lpSecurityAttributes=*/nullptr) ||
           ::GetLastError() == ERROR_ALREADY_EXISTS;
  }

  bool IsDelimiter(char c) const override { return c == '\\' || c == '/'; }
  char Delimiter() const override { return '\\'; }
  const char* LineBreak() const override { return "\r\n"; }

  void WriteOut(std::string_view bytes) override {
    if (!WriteAll(STD_OUTPUT_HANDLE, bytes)) RaiseInOutError(InOutCode(last_error_));
  }

  void WriteErr(std::string_view bytes) noexcept override { WriteAll(STD_ERROR_HANDLE, bytes); }

  void ReadLine() override {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    if (input == INVALID_HANDLE_VALUE || input == nullptr) RaiseInOutError(6);
    char c = 0;
    while (c != '\n') {
      DWORD got = 0;
      if (!::ReadFile(input, &c, 1, &got, /*lpOverlapped=*/nullptr)) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_BROKEN_PIPE) return;  // the writer is gone: end of input
        RaiseInOutError(InOutCode(error));
      }
      if (got == 0) return;  // end of input
    }
  }

  std::string ModuleName() override {
    char buffer[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(/*hModule=*/nullptr, buffer, sizeof buffer);
    const std::string path(buffer, length < sizeof buffer ? length : 0);
    const size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
  }

  std::string RefusalText(Refusal refusal) override {
    switch (refusal) {
      case Refusal::kInputFile:
        return SystemText(ERROR_SHARING_VIOLATION);
      case Refusal::kOutsideFolder:
        return SystemText(ERROR_ACCESS_DENIED);
    }
    return SystemText(ERROR_INVALID_PARAMETER);
  }

 private:
  static int InOutCode(DWORD error) { return static_cast<int>(error); }

  // Writes all bytes to a standard handle, as they are (no text-mode CR).
  bool WriteAll(DWORD which, std::string_view bytes) noexcept {
    const HANDLE handle = ::GetStdHandle(which);
    if (handle == INVALID_HANDLE_VALUE || handle == nullptr) {
      last_error_ = ERROR_INVALID_HANDLE;
      return false;
    }
    while (!bytes.empty()) {
      DWORD put = 0;
      if (!::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &put,
                       /*lpOverlapped=*/nullptr)) {
        last_error_ = ::GetLastError();
        return false;
      }
      if (put == 0) {
        last_error_ = 101;  // taken short: the run-time library's "Disk full"
        return false;
      }
      bytes.remove_prefix(put);
    }
    return true;
  }

  DWORD last_error_ = 0;
};

}  // namespace

std::unique_ptr<Platform> MakeSystemPlatform() { return std::make_unique<Win32Platform>(); }

}  // namespace orvelune
