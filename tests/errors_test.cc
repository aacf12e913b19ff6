#include "errors.h"

#include <gtest/gtest.h>

#include <string>

namespace orvelune {
namespace {

TEST(ErrorsTest, MessagesAndClassNames) {
  struct Case {
    std::string class_name;
    std::string message;
    const Exception& error;
  };
  const EFOpenError open("/m/qvbgm.dat", "No such file or directory");
  const EFCreateError create("/m/a.wav", "Permission denied");
  const EReadError read;
  const EWriteError write;
  const EOSError os(28, "No space left on device", "\r\n");
  const EOSError os_no_code(0, "ignored", "\n");
  const EOutOfMemory memory;
  const EInOutError in_out(101);
  for (const Case& c : {
           Case{"EFOpenError", "Cannot open file \"/m/qvbgm.dat\". No such file or directory", open},
           Case{"EFCreateError", "Cannot create file \"/m/a.wav\". Permission denied", create},
           Case{"EReadError", "Stream read error", read},
           Case{"EWriteError", "Stream write error", write},
           Case{"EOSError", "System Error.  Code: 28.\r\nNo space left on device", os},
           Case{"EOSError", "A call to an OS function failed", os_no_code},
           Case{"EOutOfMemory", "Out of memory", memory},
           Case{"EInOutError", "Disk full", in_out},
       }) {
    EXPECT_EQ(c.error.ClassName(), c.class_name);
    EXPECT_EQ(c.error.Message(), c.message);
  }
}

TEST(ErrorsTest, InOutErrorTexts) {
  const std::pair<int, std::string> cases[] = {
      {2, "File not found"},       {3, "Invalid filename"},        {4, "Too many open files"},
      {5, "File access denied"},   {100, "Read beyond end of file"}, {101, "Disk full"},
      {106, "Invalid numeric input"}, {6, "I/O error 6"},           {1117, "I/O error 1117"},
  };
  for (const auto& [code, text] : cases) EXPECT_EQ(InOutErrorText(code), text);
}

TEST(ErrorsTest, SystemTextLosesTrailingDotsBlanksAndControls) {
  EXPECT_EQ(TrimSystemText("Access denied.\r\n"), "Access denied");
  EXPECT_EQ(TrimSystemText("Disk full. . \t\n"), "Disk full");
  EXPECT_EQ(TrimSystemText("v1.2 failed"), "v1.2 failed");
  EXPECT_EQ(TrimSystemText("...\r\n"), "");
  EXPECT_EQ(TrimSystemText(std::string(300, 'x') + "."), std::string(256, 'x'));
}

TEST(ErrorsTest, RaisedInOutErrorCarriesItsAddress) {
  try {
    RaiseInOutError(2);
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Code(), 2);
    EXPECT_EQ(e.Message(), "File not found");
    EXPECT_NE(e.Address(), nullptr);
  }
}

}  // namespace
}  // namespace orvelune
