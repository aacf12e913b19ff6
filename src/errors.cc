#include "errors.h"

#include <utility>

namespace orvelune {

Exception::Exception(std::string message) : message_(std::move(message)) {}

EFOpenError::EFOpenError(const std::string& full_path, const std::string& system_text)
    : Exception("Cannot open file \"" + full_path + "\". " + system_text) {}

EFCreateError::EFCreateError(const std::string& full_path, const std::string& system_text)
    : Exception("Cannot create file \"" + full_path + "\". " + system_text) {}

EReadError::EReadError() : Exception("Stream read error") {}

EWriteError::EWriteError() : Exception("Stream write error") {}

namespace {

std::string OSErrorMessage(unsigned long code, const std::string& system_text,
                           const std::string& line_break) {
  if (code == 0) return "A call to an OS function failed";
  return "System Error.  Code: " + std::to_string(code) + "." + line_break + system_text;
}

}  // namespace

EOSError::EOSError(unsigned long code, const std::string& system_text,
                   const std::string& line_break)
    : Exception(OSErrorMessage(code, system_text, line_break)) {}

EOutOfMemory::EOutOfMemory() : Exception("Out of memory") {}

EInOutError::EInOutError(int code) : Exception(InOutErrorText(code)), code_(code) {}

// Not inlined, so that the return address is the raising call's own.
[[noreturn]] __attribute__((noinline)) void RaiseInOutError(int code) {
  EInOutError error(code);
  error.SetAddress(__builtin_extract_return_addr(__builtin_return_address(0)));
  throw error;
}

std::string InOutErrorText(int code) {
  switch (code) {
    case 2:
      return "File not found";
    case 3:
      return "Invalid filename";
    case 4:
      return "Too many open files";
    case 5:
      return "File access denied";
    case 100:
      return "Read beyond end of file";
    case 101:
      return "Disk full";
    case 106:
      return "Invalid numeric input";
    default:
      return "I/O error " + std::to_string(code);
  }
}

std::string TrimSystemText(std::string text) {
  constexpr size_t kMaxBytes = 256;
  if (text.size() > kMaxBytes) text.resize(kMaxBytes);
  while (!text.empty()) {
    const unsigned char last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.' && last != 0x7f) break;
    text.pop_back();
  }
  return text;
}

}  // namespace orvelune
