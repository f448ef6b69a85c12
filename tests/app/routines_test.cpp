#include <fcntl.h>
#include <unistd.h>

#include <regex>

#include "app/routines.h"
#include "app_fixture.h"

TEST(ImageTypes, GoByTheLastExtensionInAnyCase) {
  EXPECT_EQ(GetImageType("/a/B.JPG"), 1);
  EXPECT_EQ(GetImageType("x.Jpeg"), 1);
  EXPECT_EQ(GetImageType("x.gif"), 2);
  EXPECT_EQ(GetImageType("x.DIB"), 3);
  EXPECT_EQ(GetImageType("x.bmp"), 3);
  EXPECT_EQ(GetImageType("x.png"), 4);
  EXPECT_EQ(GetImageType("x.pcx"), 5);
  EXPECT_EQ(GetImageType("x.tga"), 6);
  EXPECT_EQ(GetImageType("x.tiff"), 10);
  EXPECT_EQ(GetImageType("x.jpg.txt"), 10);
  EXPECT_EQ(GetImageType("noextension"), 10);
  EXPECT_EQ(GetImageType("/photos.jpg/raw"), 10);
}

TEST(OutputNames, FollowTheOutputType) {
  EXPECT_EQ(MakeOutputFileName("/out/Holiday.BMP", 1), "/out/Holiday.jpeg");
  EXPECT_EQ(MakeOutputFileName("/out/a.b.c.png", 2), "/out/a.b.c.gif");
  EXPECT_EQ(MakeOutputFileName("/out/a.jpg", 3), "/out/a.bmp");
  EXPECT_EQ(MakeOutputFileName("/out/a.jpg", 4), "/out/a.png");
  EXPECT_EQ(MakeOutputFileName("/out/a.jpg", 5), "/out/a.pcx");
  EXPECT_EQ(MakeOutputFileName("/out/a.jpg", 6), "/out/a.tga");
  EXPECT_EQ(MakeOutputFileName("/out.d/noext", 1), "/out.d/noext.jpeg");
  // Type 0 keeps a writable source's name.
  EXPECT_EQ(MakeOutputFileName("/out/Mixed.Case.PNG", 0), "/out/Mixed.Case.PNG");
  EXPECT_EQ(MakeOutputFileName("/out/a.JPG", 0), "/out/a.JPG");
  // A source that is written as BMP data is named so.
  EXPECT_EQ(MakeOutputFileName("/out/scan.page1.TIF", 0), "/out/scan.page1.bmp");
  EXPECT_EQ(MakeOutputFileName("/out.x/raw", 0), "/out.x/raw.bmp");
  // Unknown types act as "same as the source".
  EXPECT_EQ(MakeOutputFileName("/out/a.gif", 7), "/out/a.gif");
  EXPECT_EQ(MakeOutputFileName("/out/a.tif", 200), "/out/a.bmp");
}

TEST(PathHelpers, UseSlashesOnly) {
  EXPECT_EQ(ExtractFilePathSlash("/a/b/c.jpg"), "/a/b/");
  EXPECT_EQ(ExtractFilePathSlash("/a/b/"), "/a/b/");
  EXPECT_EQ(ExtractFilePathSlash("/a:b/c:d.jpg"), "/a:b/");
  EXPECT_EQ(ExtractFilePathSlash("c.jpg"), "/");
  EXPECT_EQ(ExtractFileNameNoExt("name"), "name");
  EXPECT_EQ(ExtractFileNameNoExt("a.b.c"), "a.b");
  EXPECT_EQ(ExtractFileNameNoExt("/x.y/name"), "/x.y/name");
  EXPECT_EQ(ExtractFileName("/a/b.c"), "b.c");
  EXPECT_EQ(ExtractFileExt("/a.b/c"), "");
}

TEST(TextHelpers, ClampAndKeepCharactersWhole) {
  EXPECT_EQ(LeftStr("abcdef", 3), "abc");
  EXPECT_EQ(LeftStr("abc", 10), "abc");
  EXPECT_EQ(LeftStr("abc", -1), "");
  EXPECT_EQ(LeftStr("aü", 2), "a");
  EXPECT_EQ(RightStr("abcdef", 2), "ef");
  EXPECT_EQ(RightStr("abc", 10), "abc");
  EXPECT_EQ(RightStr("üa", 2), "a");

  const std::string text = "a/b/c";
  EXPECT_EQ(LastCharPos('/', text, 0), 4);  // never reads past the end
  EXPECT_EQ(LastCharPos('/', text, 1), 4);
  EXPECT_EQ(LastCharPos('/', text, 2), 4);
  EXPECT_EQ(LastCharPos('/', text, 3), 2);
  EXPECT_EQ(LastCharPos('/', text, 5), 0);
  EXPECT_EQ(LastCharPos('/', text, 100), 0);
  EXPECT_EQ(LastCharPos('/', text, -100), 4);
  EXPECT_EQ(LastCharPos('/', "", 0), 0);

  EXPECT_EQ(GetField("one;two", ';', 1), "one");
  EXPECT_EQ(GetField("one;two", ';', 2), "two");
  EXPECT_EQ(GetField("one;two", ';', 3), "");
  EXPECT_EQ(GetField("one;two", ';', 0), "");
  EXPECT_EQ(GetField(";x;", ';', 3), "");
  EXPECT_EQ(GetField(";x;", ';', 2), "x");
}

TEST(TimeToSeconds, CountsWholeSecondsOfASpan) {
  EXPECT_EQ(TimeToSeconds(1 + 10.0 / 86400), 86410);
  EXPECT_EQ(TimeToSeconds(0.5), 43200);
  EXPECT_EQ(TimeToSeconds(2.9994 / 86400), 2);  // 2999 ms
  // A fraction that rounds up to a full day carries into the days.
  EXPECT_EQ(TimeToSeconds(0.9999999999), 86400);
  EXPECT_EQ(TimeToSeconds(45000 + 3723.0 / 86400), 45000LL * 86400 + 3723);
}

TEST(TimeToSeconds, NowAgreesWithTheSystemClock) {
  if (!testsupport::HaveTool("/usr/bin/python3")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/python3");
  auto r = testsupport::Run({"/usr/bin/python3", "-c",
                             "import datetime\n"
                             "d = datetime.datetime.now() - datetime.datetime(1899, 12, 30)\n"
                             "print(repr(d.total_seconds()))"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const double theirs = std::stod(r.Out);
  const double ours = static_cast<double>(TimeToSeconds(Now()));
  EXPECT_NEAR(ours, theirs, 5.0);
}

TEST(ImageFiles, MatchThePatternsAtTheEnd) {
  TStringList patterns;
  SplitString(DefaultImageFilter, patterns, ';');
  EXPECT_TRUE(IsImageFile("/a/PICTURE.GIF", patterns));
  EXPECT_TRUE(IsImageFile("x.jpeg", patterns));
  EXPECT_FALSE(IsImageFile("/a/picture.gif.txt", patterns));
  EXPECT_FALSE(IsImageFile("gif", patterns));
  TStringList withEmpty;
  SplitString("*.abc;;*", withEmpty, ';');
  EXPECT_TRUE(IsImageFile("q.ABC", withEmpty));
  EXPECT_FALSE(IsImageFile("q.txt", withEmpty));
  EXPECT_FALSE(IsImageFile("", withEmpty));
}

namespace {

class TVectorItems : public TListItems {
 public:
  struct TItem {
    std::string Caption;
    std::vector<std::string> Sub;
    bool Checked = false;
  };
  std::vector<TItem> Items;
  int Selected = -1;
  int Count() const override { return static_cast<int>(Items.size()); }
  std::string Caption(int i) const override { return Items.at(static_cast<std::size_t>(i)).Caption; }
  std::vector<std::string> SubItems(int i) const override { return Items.at(static_cast<std::size_t>(i)).Sub; }
  void Delete(int i) override { Items.erase(Items.begin() + i); }
  void Insert(int i, const std::string& caption, const std::vector<std::string>& sub) override {
    Items.insert(Items.begin() + i, TItem{caption, sub, false});
  }
  void Select(int i) override { Selected = i; }
  std::string Captions() const {
    std::string s;
    for (const auto& it : Items) s += it.Caption;
    return s;
  }
};

}  // namespace

TEST(MoveListItem, MovesInsideTheListOnly) {
  TVectorItems list;
  list.Items = {{"a", {"1"}, true}, {"b", {"2"}, true}, {"c", {"3", "x"}, true}};
  EXPECT_FALSE(MoveListItem(list, 0, -1));
  EXPECT_FALSE(MoveListItem(list, 2, 1));
  EXPECT_FALSE(MoveListItem(list, 1, 0));
  EXPECT_FALSE(MoveListItem(list, 0, 2147483647));
  EXPECT_EQ(list.Captions(), "abc");
  EXPECT_EQ(list.Selected, -1);

  EXPECT_TRUE(MoveListItem(list, 2, -2));
  EXPECT_EQ(list.Captions(), "cab");
  EXPECT_EQ(list.Selected, 0);
  EXPECT_EQ(list.Items[0].Sub, (std::vector<std::string>{"3", "x"}));
  EXPECT_FALSE(list.Items[0].Checked);  // only the texts travel
}

TEST_F(AppTest, FileSizesAreSixtyFourBit) {
  const std::string big = Dir() + "big.bin";
  int fd = ::open(big.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  const bool sparse = ::ftruncate(fd, 5LL * 1024 * 1024 * 1024) == 0;
  ::close(fd);
  if (sparse) {
    EXPECT_EQ(GetFileSizeByName(big), 5LL * 1024 * 1024 * 1024);
  }
  EXPECT_EQ(GetFileSizeByName(Dir() + "missing"), 0);
  EXPECT_EQ(GetFileSizeByName(Dir()), 0);
}

TEST_F(AppTest, TempMarkNamesLieInTheMarkFolder) {
  const std::regex form(std::regex_replace(Dir(), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)") +
                        R"(spm/~temp(\d+)\.bmp)");
  for (int i = 0; i < 50; ++i) {
    std::smatch m;
    const std::string name = GetTempMarkFileName(".bmp");
    ASSERT_TRUE(std::regex_match(name, m, form)) << name;
    EXPECT_LT(std::stol(m[1]), 10100000);
  }
  EXPECT_FALSE(DirectoryExists(Dir() + "spm"));
}

TEST_F(AppTest, MessageBoxesGoThroughTheWindowSide) {
  handler_.Answer = idYes;
  EXPECT_EQ(ShowMsg("Go on?", 5, SystemMessageCaption), idYes);
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Caption, "System message");
  ProcessMessages();
  EXPECT_EQ(handler_.Pumps, 1);

  SetGuiHandler(nullptr);
  testing::internal::CaptureStderr();
  EXPECT_EQ(ShowMsg("x", 0, "c"), idOK);
  EXPECT_EQ(ShowMsg("x", 2, "c"), idOK);
  EXPECT_EQ(ShowMsg("x", 4, "c"), idCancel);
  EXPECT_EQ(ShowMsg("x", 5, "c"), idNo);
  EXPECT_EQ(ShowMsg("x", 42, "c"), idOK);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("c: x"), std::string::npos);
  ProcessMessages();

  EXPECT_EQ(MsgStyleOfKind(3).Flags, 16u);
  EXPECT_EQ(MsgStyleOfKind(1).Flags, 64u);
  EXPECT_EQ(MsgStyleOfKind(2).Flags, 48u);
  EXPECT_EQ(MsgStyleOfKind(4).Flags, 65u);
  EXPECT_EQ(MsgStyleOfKind(5).Flags, 36u);
  EXPECT_EQ(MsgStyleOfKind(-1).Flags, 64u);
}

TEST_F(AppTest, OutputNamesAndImageTestsUseTheSettings) {
  CreateProgramInfo();
  ProgramInfo().OutputFileType = 1;
  EXPECT_EQ(MakeOutputFileName("/o/a.png"), "/o/a.jpeg");
  EXPECT_TRUE(IsImageFile("/o/a.TGA"));
  ProgramInfo().ImageFilter.Clear();
  EXPECT_FALSE(IsImageFile("/o/a.TGA"));
}
