// A fresh folder for one test, removed with everything in it afterwards.
#ifndef ORVELUNE_TESTS_TEMP_DIR_H_
#define ORVELUNE_TESTS_TEMP_DIR_H_

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace orvelune {

class TempDir {
 public:
  TempDir() {
    const auto base = std::filesystem::temp_directory_path();
    for (int i = 0;; ++i) {
      path_ = base / ("orvelune-test-" + std::to_string(std::rand()) + "-" + std::to_string(i));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(const std::string& name) const { return (path_ / name).string(); }

  std::string Put(const std::string& name, const std::string& bytes) const {
    std::ofstream(Path(name), std::ios::binary) << bytes;
    return Path(name);
  }

  std::string Get(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  std::filesystem::path path_;
};

}  // namespace orvelune

#endif  // ORVELUNE_TESTS_TEMP_DIR_H_
