// The errors that stop a split. Each carries the text that the one report in
// the entry point prints, and the name of its class, which the report prints
// too ("Exception <EReadError>:").
#ifndef ORVELUNE_ERRORS_H_
#define ORVELUNE_ERRORS_H_

#include <exception>
#include <string>

namespace orvelune {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  virtual const char* ClassName() const = 0;

  // Code address at which the error was raised, for the last-resort report;
  // null where nobody recorded one.
  const void* Address() const { return address_; }
  void SetAddress(const void* address) { address_ = address; }

 private:
  std::string message_;
  const void* address_ = nullptr;
};

// An existing file cannot be opened for reading.
class EFOpenError final : public Exception {
 public:
  EFOpenError(const std::string& full_path, const std::string& system_text);
  const char* ClassName() const override { return "EFOpenError"; }
};

// A file cannot be created (or is refused as an output).
class EFCreateError final : public Exception {
 public:
  EFCreateError(const std::string& full_path, const std::string& system_text);
  const char* ClassName() const override { return "EFCreateError"; }
};

// A read finds fewer bytes than it needs, or the system fails it.
class EReadError final : public Exception {
 public:
  EReadError();
  const char* ClassName() const override { return "EReadError"; }
};

// A write is taken short, or the system fails it.
class EWriteError final : public Exception {
 public:
  EWriteError();
  const char* ClassName() const override { return "EWriteError"; }
};

// Another system call failed (setting a file's size, moving its position).
class EOSError final : public Exception {
 public:
  // `code` 0 means the system gave no error number.
  EOSError(unsigned long code, const std::string& system_text, const std::string& line_break);
  const char* ClassName() const override { return "EOSError"; }
};

class EOutOfMemory final : public Exception {
 public:
  EOutOfMemory();
  const char* ClassName() const override { return "EOutOfMemory"; }
};

// A console write or read, or the change of working directory, failed. The
// code is the run-time library's I/O result code (see InOutErrorText).
class EInOutError final : public Exception {
 public:
  explicit EInOutError(int code);
  const char* ClassName() const override { return "EInOutError"; }
  int Code() const { return code_; }

 private:
  int code_;
};

// Raises EInOutError(code), recording the caller's code address for the
// last-resort report.
[[noreturn]] void RaiseInOutError(int code);

// "File not found" for 2, ..., "I/O error <code>" for codes without a text.
std::string InOutErrorText(int code);

// Cuts trailing control characters, blanks and full stops from a system
// error text and keeps at most 256 bytes of it.
std::string TrimSystemText(std::string text);

}  // namespace orvelune

#endif  // ORVELUNE_ERRORS_H_
