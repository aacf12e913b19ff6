// The POSIX platform's own behaviour, on the real file system.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "errors.h"
#include "platform.h"
#include "temp_dir.h"

namespace orvelune {
namespace {

TEST(PosixPlatformTest, FullPathFoldsDotsByName) {
  auto platform = MakeSystemPlatform();
  const std::string cwd = std::filesystem::current_path().string();
  const std::pair<std::string, std::string> cases[] = {
      {"/a/b/c.fmt", "/a/b/c.fmt"},   {"/a/./b//c.fmt", "/a/b/c.fmt"},
      {"/a/x/../b/c.fmt", "/a/b/c.fmt"}, {"/../../c.fmt", "/c.fmt"},
      {"/a/b/", "/a/b/"},             {"/a/b/..", "/a/"},
      {"/", "/"},                     {"c.fmt", cwd + "/c.fmt"},
      {"./music/c.fmt", cwd + "/music/c.fmt"},
  };
  for (const auto& [path, full] : cases) EXPECT_EQ(platform->FullPath(path), full) << path;
}

TEST(PosixPlatformTest, OpenReadRefusesFolders) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  try {
    platform->OpenRead(dir.Path(""));
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    EXPECT_EQ(e.Message(), "Cannot open file \"" + dir.Path("") + "\". Is a directory");
  }
}

// Without share modes the platform itself must keep an output off the inputs,
// whatever name leads to them.
TEST(PosixPlatformTest, CreateRefusesInputsByAnyName) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  const std::string data = dir.Put("qvbgm.dat", "precious");
  const auto input = platform->OpenRead(data);
  std::filesystem::create_hard_link(data, dir.Path("hard.wav"));
  std::filesystem::create_symlink(data, dir.Path("soft.wav"));
  for (const char* name : {"qvbgm.dat", "hard.wav", "soft.wav"}) {
    try {
      platform->Create(dir.Path(name), {FileId{}, input->Id()});
      ADD_FAILURE() << name << ": no error";
    } catch (const EFCreateError& e) {
      EXPECT_EQ(e.Message(), "Cannot create file \"" + dir.Path(name) + "\". Text file busy");
    }
  }
  EXPECT_EQ(dir.Get("qvbgm.dat"), "precious");
  // Any other file is replaced.
  dir.Put("other.wav", "old contents");
  platform->Create(dir.Path("other.wav"), {input->Id()})->Close();
  EXPECT_EQ(dir.Get("other.wav"), "");
}

TEST(PosixPlatformTest, MakeDirsCreatesParentsAndAcceptsExisting) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  EXPECT_TRUE(platform->MakeDirs(dir.Path("a/b/c")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.Path("a/b/c")));
  EXPECT_TRUE(platform->MakeDirs(dir.Path("a/b/")));
  dir.Put("file", "x");
  EXPECT_FALSE(platform->MakeDirs(dir.Path("file/sub")));
}

TEST(PosixPlatformTest, ChangeDirFailureIsInOutError) {
  TempDir dir;
  auto platform = MakeSystemPlatform();
  try {
    platform->ChangeDir(dir.Path("missing/"));
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), "File not found");
  }
}

}  // namespace
}  // namespace orvelune
