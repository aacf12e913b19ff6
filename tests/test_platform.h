// A platform for tests: the system's own, with the console captured and with
// chosen calls made to fail. Its files offer no system copy, so wave files are
// copied through the program's own buffer, where every read and write counts.
#ifndef ORVELUNE_TESTS_TEST_PLATFORM_H_
#define ORVELUNE_TESTS_TEST_PLATFORM_H_

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "forwarding_platform.h"
#include "platform.h"

namespace orvelune {

class TestPlatform final : public ForwardingPlatform {
 public:
  enum class Call { kRead, kWrite, kSetSize };

  // Makes the n-th call (from 1) of `call`, counted over all files, raise
  // the error that the real file would raise for a system failure.
  void FailAt(Call call, int n) { fail_at_[call] = n; }
  // Bytes asked for by each read, over all files, in order.
  const std::vector<size_t>& ReadRequests() const { return read_requests_; }
  // Everything written to standard output.
  const std::string& Out() const { return out_; }

  std::unique_ptr<File> OpenRead(const std::string& path) override;
  std::unique_ptr<File> Create(const std::string& path,
                               const std::vector<FileId>& inputs) override;
  void WriteOut(std::string_view bytes) override { out_.append(bytes); }
  void WriteErr(std::string_view bytes) noexcept override { err_.append(bytes); }
  void ReadLine() override {}
  std::string ModuleName() override { return "orvelune_tests"; }

  // For the file wrapper: true when this call is the one to fail.
  bool Fails(Call call);
  void RecordRead(size_t count) { read_requests_.push_back(count); }

 private:
  std::map<Call, int> fail_at_;
  std::map<Call, int> calls_;
  std::vector<size_t> read_requests_;
  std::string out_;
  std::string err_;
};

}  // namespace orvelune

#endif  // ORVELUNE_TESTS_TEST_PLATFORM_H_
