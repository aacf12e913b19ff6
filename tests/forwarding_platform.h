// A platform that passes every call on to the system's own; tests and the
// fuzz target derive from it and replace only the calls they watch.
#ifndef ORVELUNE_TESTS_FORWARDING_PLATFORM_H_
#define ORVELUNE_TESTS_FORWARDING_PLATFORM_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace orvelune {

class ForwardingPlatform : public Platform {
 public:
  std::unique_ptr<File> OpenRead(const std::string& path) override {
    return real_->OpenRead(path);
  }
  std::unique_ptr<File> Create(const std::string& path,
                               const std::vector<FileId>& inputs) override {
    return real_->Create(path, inputs);
  }
  std::string FullPath(const std::string& path) override { return real_->FullPath(path); }
  void ChangeDir(const std::string& folder) override { real_->ChangeDir(folder); }
  bool MakeDirs(const std::string& folder) override { return real_->MakeDirs(folder); }
  bool IsDelimiter(char c) const override { return real_->IsDelimiter(c); }
  char Delimiter() const override { return real_->Delimiter(); }
  const char* LineBreak() const override { return real_->LineBreak(); }
  void WriteOut(std::string_view bytes) override { real_->WriteOut(bytes); }
  void WriteErr(std::string_view bytes) noexcept override { real_->WriteErr(bytes); }
  void ReadLine() override { real_->ReadLine(); }
  std::string ModuleName() override { return real_->ModuleName(); }
  std::string RefusalText(Refusal refusal) override { return real_->RefusalText(refusal); }

 protected:
  Platform& Real() { return *real_; }

 private:
  std::unique_ptr<Platform> real_ = MakeSystemPlatform();
};

}  // namespace orvelune

#endif  // ORVELUNE_TESTS_FORWARDING_PLATFORM_H_
