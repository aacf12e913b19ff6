// Fuzz target: one input is a format file and a small data file; the split
// runs on them in a fresh folder. Beyond what the sanitizers catch, it
// checks that the inputs are unchanged afterwards and that nothing was
// written outside that folder.
//
// Input: a little-endian u16 n, then n bytes of format file, then the data
// file (n is cut to what the input holds).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <new>
#include <string>

#include "errors.h"
#include "forwarding_platform.h"
#include "platform.h"
#include "split.h"

namespace orvelune {
namespace {

// The system's own platform with a silent console.
class QuietPlatform final : public ForwardingPlatform {
 public:
  void WriteOut(std::string_view) override {}
  void WriteErr(std::string_view) noexcept override {}
  void ReadLine() override {}
  std::string ModuleName() override { return "split_fuzz"; }
};

namespace fs = std::filesystem;

std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Put(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "split_fuzz: %s\n", what);
  std::abort();
}

// A folder of this process's own, on a RAM file system where there is one.
const fs::path& Base() {
  static const fs::path base = [] {
    const fs::path parent = fs::exists("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    std::string name = (parent / "orvelune-fuzz-XXXXXX").string();
    if (::mkdtemp(&name[0]) == nullptr) Fail("cannot make a folder");
    return fs::path(name);
  }();
  return base;
}

}  // namespace
}  // namespace orvelune

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace orvelune;  // NOLINT: the fuzzer's entry point is C
  if (size < 2) return 0;
  const size_t fmt_size = std::min<size_t>(data[0] | data[1] << 8, size - 2);
  const std::string fmt(reinterpret_cast<const char*>(data) + 2, fmt_size);
  const std::string dat(reinterpret_cast<const char*>(data) + 2 + fmt_size, size - 2 - fmt_size);

  const fs::path run = Base() / "run";
  fs::create_directory(run);
  Put(run / "qvbgm_95.fmt", fmt);
  Put(run / "qvbgm.dat", dat);

  QuietPlatform platform;
  platform.ChangeDir(run.string());
  try {
    SplitBgm(platform, "qvbgm.dat", (run / "qvbgm_95.fmt").string(), ".");
  } catch (const Exception&) {
    // A report, as the program would print it: fine.
  } catch (const std::bad_alloc&) {
  }
  if (Slurp(run / "qvbgm_95.fmt") != fmt) Fail("the format file changed");
  if (Slurp(run / "qvbgm.dat") != dat) Fail("the data file changed");
  for (const auto& entry : fs::directory_iterator(Base())) {
    if (entry.path() != run) Fail("a file was written outside the split's folder");
  }
  platform.ChangeDir(Base().string());
  fs::remove_all(run);
  return 0;
}
