#include "fat.h"

#include <gtest/gtest.h>

#include <string>

#include "errors.h"
#include "temp_dir.h"
#include "test_platform.h"

namespace orvelune {
namespace {

const char kWarning[] = "Warning: format file's size is not even to one record size.";

std::string Record(const std::string& name, uint32_t offset, uint32_t length) {
  tbgmrec record;
  std::copy(name.begin(), name.end(), record.name.begin());
  record.offset = offset;
  record.length = length;
  const auto bytes = record.Encode();
  return std::string(bytes.begin(), bytes.end());
}

// k records named "t0", "t1", ... with distinct offsets and lengths.
std::string Records(int k) {
  std::string bytes;
  for (int i = 0; i < k; ++i) bytes += Record("t" + std::to_string(i), 16 + i, 1000 + i);
  return bytes;
}

struct SizeCase {
  const char* label;
  int records;
  size_t extra;  // bytes after the last whole record
  bool warns;

  friend void PrintTo(const SizeCase& c, std::ostream* os) { *os << c.label; }
};

class ReadFatSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ReadFatSizeTest, ReadsWholeRecordsAndWarnsOnOddRemainder) {
  const SizeCase& c = GetParam();
  TempDir dir;
  const std::string path = dir.Put("f.fmt", Records(c.records) + std::string(c.extra, '\xAB'));
  TestPlatform platform;
  tbgmfat table;

  ReadFat(platform, path, table);

  EXPECT_EQ(platform.Out(), c.warns ? kWarning + std::string(platform.LineBreak()) : "");
  ASSERT_EQ(table.size(), static_cast<size_t>(c.records));
  for (int i = 0; i < c.records; ++i) {
    EXPECT_EQ(table[i].Name(), "t" + std::to_string(i));
    EXPECT_EQ(table[i].offset, 16u + i);
    EXPECT_EQ(table[i].length, 1000u + i);
  }
  // The remainder after the last record is never asked for.
  size_t requested = 0;
  for (size_t n : platform.ReadRequests()) requested += n;
  EXPECT_EQ(requested, c.records * tbgmrec::kSize);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, ReadFatSizeTest,
    ::testing::Values(SizeCase{"empty", 0, 0, false}, SizeCase{"bytes1", 0, 1, true},
                      SizeCase{"bytes16", 0, 16, true}, SizeCase{"bytes17", 0, 17, false},
                      SizeCase{"bytes30", 0, 30, true}, SizeCase{"one", 1, 0, false},
                      SizeCase{"threePlus17", 3, 17, false}, SizeCase{"threePlus1", 3, 1, true},
                      SizeCase{"threePlus51", 3, 51, true}),
    [](const ::testing::TestParamInfo<SizeCase>& c) { return std::string(c.param.label); });

TEST(ReadFatTest, NameEndsAtFirstNulOrTakesAllSixteenBytes) {
  TempDir dir;
  std::string bytes = Record("", 0, 0) + Record("abcdefghijklmnop", 0, 0) + Record("ab", 0, 0);
  bytes[2 * tbgmrec::kSize + 3] = 'x';  // after the NUL: not part of the name
  const std::string path = dir.Put("f.fmt", bytes);
  TestPlatform platform;
  tbgmfat table;

  ReadFat(platform, path, table);

  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table[0].Name(), "");
  EXPECT_EQ(table[1].Name(), "abcdefghijklmnop");
  EXPECT_EQ(table[2].Name(), "ab");
}

TEST(ReadFatTest, DecodesLittleEndianFieldsAndSkipsTheOthers) {
  TempDir dir;
  std::string bytes(tbgmrec::kSize, '\xFF');
  bytes.replace(0, 5, std::string("a.wa\0", 5));
  bytes.replace(16, 4, std::string("\x01\x02\x03\x84", 4));
  bytes.replace(28, 4, std::string("\xF0\x00\x00\x01", 4));
  ASSERT_EQ(bytes.size(), tbgmrec::kSize);
  TestPlatform platform;
  tbgmfat table;

  ReadFat(platform, dir.Put("f.fmt", bytes), table);

  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].Name(), "a.wa");
  EXPECT_EQ(table[0].offset, 0x84030201u);
  EXPECT_EQ(table[0].length, 0x010000F0u);
}

TEST(ReadFatTest, MissingFileRaisesOpenErrorWithFullPath) {
  TempDir dir;
  TestPlatform platform;
  tbgmfat table;
  try {
    ReadFat(platform, dir.Path("missing.fmt"), table);
    FAIL() << "no error";
  } catch (const EFOpenError& e) {
    // The system's own text follows; it differs between systems.
    const std::string start = "Cannot open file \"" + dir.Path("missing.fmt") + "\". ";
    EXPECT_EQ(e.Message().substr(0, start.size()), start);
    EXPECT_GT(e.Message().size(), start.size());
  }
  EXPECT_TRUE(table.empty());
}

TEST(ReadFatTest, FailedReadRaisesReadError) {
  TempDir dir;
  TestPlatform platform;
  platform.FailAt(TestPlatform::Call::kRead, 1);
  tbgmfat table;
  EXPECT_THROW(ReadFat(platform, dir.Put("f.fmt", Records(2)), table), EReadError);
}

}  // namespace
}  // namespace orvelune
