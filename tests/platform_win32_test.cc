// The Win32 platform's own behaviour, on the real file system.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "errors.h"
#include "platform.h"
#include "temp_dir.h"

namespace orvelune {
namespace {

TEST(Win32PlatformTest, FullPathTakesBothDelimitersAndFoldsDots) {
  auto platform = MakeSystemPlatform();
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\a\\b\\c.fmt", "C:\\a\\b\\c.fmt"},
      {"C:/a/b/c.fmt", "C:\\a\\b\\c.fmt"},
      {"C:\\a\\x\\..\\b\\.\\c.fmt", "C:\\a\\b\\c.fmt"},
      {"C:\\a\\b\\", "C:\\a\\b\\"},
  };
  for (const auto& [path, full] : cases) EXPECT_EQ(platform->FullPath(path), full) << path;
  EXPECT_TRUE(platform->IsDelimiter('/'));
  EXPECT_TRUE(platform->IsDelimiter('\\'));
  EXPECT_STREQ(platform->LineBreak(), "\r\n");
}

// An open input is kept by its share mode, a closed one by its identity;
// either way it is left as it was.
TEST(Win32PlatformTest, CreateRefusesInputs) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  const std::string data = dir.Put("qvbgm.dat", "precious data");
  const std::string fmt = dir.Put("qvbgm_95.fmt", "precious table");
  FileId fmt_id;
  {
    const auto fmt_file = platform->OpenRead(fmt);
    fmt_id = fmt_file->Id();
  }
  const auto data_file = platform->OpenRead(data);
  for (const std::string& path : {data, fmt}) {
    try {
      platform->Create(path, {fmt_id, data_file->Id()});
      ADD_FAILURE() << path << ": no error";
    } catch (const EFCreateError& e) {
      const std::string start = "Cannot create file \"" + platform->FullPath(path) + "\". ";
      EXPECT_EQ(e.Message().substr(0, start.size()), start);
    }
  }
  EXPECT_EQ(dir.Get("qvbgm.dat"), "precious data");
  EXPECT_EQ(dir.Get("qvbgm_95.fmt"), "precious table");
}

TEST(Win32PlatformTest, CreatedFileIsEmptyAndExclusive) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  dir.Put("out.wav", "old contents");
  const auto out = platform->Create(dir.Path("out.wav"), {});
  EXPECT_EQ(out->Size(), 0u);
  EXPECT_THROW(platform->OpenRead(dir.Path("out.wav")), EFOpenError);
  out->SetSize(12);
  EXPECT_EQ(out->Size(), 12u);
}

TEST(Win32PlatformTest, ChangeDirFailureIsInOutError) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  try {
    platform->ChangeDir(dir.Path("missing\\"));
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "File not found");
  }
}

TEST(Win32PlatformTest, MakeDirsCreatesParents) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  EXPECT_TRUE(platform->MakeDirs(dir.Path("a\\b/c")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("a/b/c")));
  EXPECT_TRUE(platform->MakeDirs("."));
}

}  // namespace
}  // namespace orvelune
