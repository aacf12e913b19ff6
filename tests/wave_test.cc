#include "wave.h"

#include <gtest/gtest.h>

#include <string>

#include "errors.h"
#include "temp_dir.h"
#include "test_platform.h"

namespace orvelune {
namespace {

std::string Header(uint32_t length) {
  const auto header = WaveHeader(length);
  return std::string(header.begin(), header.end());
}

// `n` bytes that differ from their neighbours, so that a misplaced copy shows.
std::string Pattern(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xff);
  return bytes;
}

TEST(WaveHeaderTest, DeclaresSixteenBitStereoAt44100) {
  const std::string expected(
      "RIFF\x28\x00\x00\x00WAVE"                       // RIFF size 36 + 4
      "fmt \x10\x00\x00\x00\x01\x00\x02\x00"           // block 16, PCM, 2 channels
      "\x44\xAC\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00"  // 44100, 176400, align 4, 16 bits
      "data\x04\x00\x00\x00",
      44);
  EXPECT_EQ(Header(4), expected);
}

TEST(WaveHeaderTest, SizesFollowTheLength) {
  struct Case {
    uint32_t length;
    const char* riff_size;
    const char* data_size;
  };
  for (const Case& c : {Case{0, "\x24\x00\x00\x00", "\x00\x00\x00\x00"},
                        Case{7, "\x2B\x00\x00\x00", "\x07\x00\x00\x00"},
                        Case{0x01020304, "\x28\x03\x02\x01", "\x04\x03\x02\x01"}}) {
    const std::string header = Header(c.length);
    EXPECT_EQ(header.substr(4, 4), std::string(c.riff_size, 4)) << c.length;
    EXPECT_EQ(header.substr(40, 4), std::string(c.data_size, 4)) << c.length;
  }
}

// Each case runs with the system's own copy where it has one (true) and
// through the program's buffer (false).
class WriteWaveTest : public ::testing::TestWithParam<bool> {
 protected:
  WriteWaveTest() {
    if (GetParam()) {
      platform_ = MakeSystemPlatform();
    } else {
      platform_ = std::make_unique<TestPlatform>();
    }
  }

  // Writes out.wav from data.dat (lead-in and audio as given).
  void Write(const std::string& data, uint32_t offset, uint32_t length) {
    source_ = platform_->OpenRead(dir_.Put("data.dat", data));
    WriteWave(*platform_, dir_.Path("out.wav"), *source_, offset, length, {source_->Id()});
  }

  TempDir dir_;
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<File> source_;
};

INSTANTIATE_TEST_SUITE_P(Copies, WriteWaveTest, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                           return std::string(p.param ? "SystemCopy" : "Buffered");
                         });

TEST_P(WriteWaveTest, CopiesTheTrackBehindTheHeader) {
  const std::string audio = Pattern(4099);  // odd: no pad byte follows
  Write("0123456789abcdef" + audio + "tail", 16, 4099);
  EXPECT_EQ(dir_.Get("out.wav"), Header(4099) + audio);
}

TEST_P(WriteWaveTest, CopiesTracksLongerThanTheBuffer) {
  const std::string audio = Pattern(3 * (1 << 20) + 12);
  Write("lead" + audio, 4, static_cast<uint32_t>(audio.size()));
  EXPECT_EQ(dir_.Get("out.wav"), Header(static_cast<uint32_t>(audio.size())) + audio);
}

TEST_P(WriteWaveTest, EmptyTrackPastTheEndIsACompleteFile) {
  Write("short", 1000, 0);
  EXPECT_EQ(dir_.Get("out.wav"), Header(0));
}

TEST_P(WriteWaveTest, ReplacesAnExistingFile) {
  dir_.Put("out.wav", std::string(5000, 'x'));
  Write("lead" + Pattern(8), 4, 8);
  EXPECT_EQ(dir_.Get("out.wav"), Header(8) + Pattern(8));
}

TEST_P(WriteWaveTest, ShortSourceLeavesUnfinishedFileWithWhatCouldBeRead) {
  const std::string audio = Pattern(100);
  EXPECT_THROW(Write("0123456789abcdef" + audio, 16, 1000), EReadError);
  // RIFF head zero: the file was not finished.
  EXPECT_EQ(dir_.Get("out.wav"), std::string(12, '\0') + Header(1000).substr(12) + audio);
}

TEST_P(WriteWaveTest, RefusesToWriteOverAnInput) {
  const std::string data = "0123456789abcdef" + Pattern(64);
  dir_.Put("data.dat", data);
  source_ = platform_->OpenRead(dir_.Path("data.dat"));
  EXPECT_THROW(WriteWave(*platform_, dir_.Path("data.dat"), *source_, 16, 64, {source_->Id()}),
               EFCreateError);
  EXPECT_EQ(dir_.Get("data.dat"), data);
}

// A failure at each write or at the size leaves an error, never a file that
// looks finished.
TEST(WriteWaveFaultTest, FailedHeaderOrCopyWritesRaise) {
  TempDir dir_;
  const std::string data = "0123456789abcdef" + Pattern(64);
  for (int n = 1; n <= 3; ++n) {  // format block and data head, audio, RIFF head
    TestPlatform platform;
    platform.FailAt(TestPlatform::Call::kWrite, n);
    auto source = platform.OpenRead(dir_.Put("data.dat", data));
    EXPECT_THROW(WriteWave(platform, dir_.Path("out.wav"), *source, 16, 64, {}), EWriteError)
        << "write " << n;
    EXPECT_EQ(dir_.Get("out.wav").substr(0, 4), std::string(4, '\0')) << "write " << n;
  }
  TestPlatform platform;
  platform.FailAt(TestPlatform::Call::kSetSize, 1);
  auto source = platform.OpenRead(dir_.Put("data.dat", data));
  EXPECT_THROW(WriteWave(platform, dir_.Path("out.wav"), *source, 16, 64, {}), EOSError);
}

}  // namespace
}  // namespace orvelune
