// A reader's warning posted on another thread (the viewer's loader) is
// shown on the GUI thread, from its event loop, never by the poster.
#include <thread>

#include "formats/common/reader_warnings.h"
#include "windows/reader_warnings_qt.h"
#include "windows/windows_fixture.h"

namespace {

TEST_F(WindowsTest, ReaderWarningsAreShownOnTheGuiThread) {
  TakeReaderWarnings();
  InstallReaderWarningDisplay();
  std::thread loader([] {
    PostReaderWarning("JPEG decompression error. Unexpected end of input.");
    PostReaderWarning("second");
  });
  loader.join();
  EXPECT_TRUE(handler_.Boxes.empty()) << "nothing is shown before the GUI thread's event loop runs";
  ASSERT_TRUE(WaitFor([&] { return handler_.Boxes.size() == 2; }));
  EXPECT_EQ(handler_.Boxes[0].Text, "JPEG decompression error. Unexpected end of input.");
  EXPECT_EQ(handler_.Boxes[0].Caption, "Warning");
  EXPECT_EQ(handler_.Boxes[0].Kind, mkWarning);
  EXPECT_EQ(handler_.Boxes[1].Text, "second");

  RemoveReaderWarningDisplay();
  PostReaderWarning("kept");
  QCoreApplication::processEvents();
  EXPECT_EQ(handler_.Boxes.size(), 2u);
  EXPECT_EQ(TakeReaderWarnings(), std::vector<std::string>{"kept"});
}

}  // namespace
