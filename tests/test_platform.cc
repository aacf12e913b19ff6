#include "test_platform.h"

#include "errors.h"

namespace orvelune {
namespace {

class TestFile final : public File {
 public:
  TestFile(TestPlatform& platform, std::unique_ptr<File> real)
      : platform_(platform), real_(std::move(real)) {
    id_ = real_->Id();
  }

  uint64_t Size() override { return real_->Size(); }
  void Seek(uint64_t position) override { real_->Seek(position); }
  size_t Read(void* buffer, size_t count) override {
    platform_.RecordRead(count);
    if (platform_.Fails(TestPlatform::Call::kRead)) throw EReadError();
    return real_->Read(buffer, count);
  }
  void WriteAt(uint64_t offset, const void* buffer, size_t count) override {
    if (platform_.Fails(TestPlatform::Call::kWrite)) throw EWriteError();
    real_->WriteAt(offset, buffer, count);
  }
  void SetSize(uint64_t size) override {
    if (platform_.Fails(TestPlatform::Call::kSetSize)) {
      throw EOSError(27, "File too large", platform_.LineBreak());
    }
    real_->SetSize(size);
  }
  void Close() override { real_->Close(); }

 private:
  TestPlatform& platform_;
  std::unique_ptr<File> real_;
};

}  // namespace

std::unique_ptr<File> TestPlatform::OpenRead(const std::string& path) {
  return std::make_unique<TestFile>(*this, Real().OpenRead(path));
}

std::unique_ptr<File> TestPlatform::Create(const std::string& path,
                                           const std::vector<FileId>& inputs) {
  return std::make_unique<TestFile>(*this, Real().Create(path, inputs));
}

bool TestPlatform::Fails(Call call) {
  const auto it = fail_at_.find(call);
  return ++calls_[call] == (it == fail_at_.end() ? 0 : it->second);
}

}  // namespace orvelune
