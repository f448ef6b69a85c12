// The mark editor's rules without a window: the record and the controls
// in both directions, the checks before a preview and before saving, the
// mark text's pieces, saving under a new or changed name, the presets, the
// composite's plan, the checkerboard, the read-outs and dragging.

#include <algorithm>
#include <filesystem>
#include <functional>

#include "app/messages.h"
#include "core/files.h"
#include "windows/mark_editor/mark_editor_model.h"
#include "windows/mark_editor/mark_editor_fixture.h"
#include "windows/windows_fixture.h"

namespace {

namespace fs = std::filesystem;

}  // namespace

// ---- The record and the controls ------------------------------------------------

TEST(MarkEditorRecord, EveryFieldAndFlagSurvivesTheControls) {
  const TMarkInfo full = FullTextRecord();
  TMarkOptions options = CreationOptions();
  MarkToForm(full, options);
  // What the controls show, read independently of FormToMark.
  EXPECT_EQ(options.Name, "Logo");
  EXPECT_TRUE(options.TextMark);
  EXPECT_EQ(options.Text, "line one\r\n\r\nline three");
  EXPECT_EQ(options.Font, (TMarkFont{"DejaVu Serif", 17, mfsBold | mfsStrikeOut, RGB(1, 2, 3)}));
  EXPECT_FALSE(options.AutoFit);  // the editor byte 1 leaves the box unchecked
  EXPECT_EQ(options.RotateBackColor, RGB(10, 20, 30));
  EXPECT_EQ(options.Number(nfMaskWidth), "30");    // right - left
  EXPECT_EQ(options.Number(nfMaskHeight), "120");  // bottom - top
  EXPECT_EQ(options.Number(nfScale), "12.5");
  EXPECT_EQ(options.Flags, EditorFlagBits());
  EXPECT_TRUE(ValidateOptions(options));

  TMarkInfo back;
  FormToMark(options, back);
  ExpectSameFields(back, full);
  EXPECT_EQ(back.MaskRect(), (TRect{10, -20, 40, 100}));
  EXPECT_EQ(back.U8(TMarkInfo::oRotateBackRed), 10);
  EXPECT_EQ(back.U8(TMarkInfo::oRotateBackBlue), 30);
  EXPECT_EQ(back.PictureType(), ".bmp");
  EXPECT_EQ(back.StoredPictureType(), ".bmp");
  EXPECT_EQ(back.Version(), "V3.09");
  EXPECT_EQ(back.U8(TMarkInfo::oReserved), 0);
  // A text mark keeps no picture file.
  EXPECT_EQ(back.PictureFile(), "");
}

TEST(MarkEditorRecord, APictureMarkAndTheEdgesOfTheControls) {
  TMarkInfo r;
  InitMarkInfo(r);
  r.SetName("  pic ");
  r.SetPictureFile("/pictures/logo.png");
  r.SetResizeX(0);
  r.SetResizeY(0);
  r.SetAnchor(12);       // no such button
  r.SetBevelInner(3);    // the item count: no choice
  r.SetBevelOuter(9);    // above it: the combo keeps its own
  r.SetFrameStyle(6);    // the item count
  r.SetTransparency(150);
  r.SetEffectFlags(0xFFFF0000u | mfMix);  // bits no box sets go
  TMarkOptions options = CreationOptions();
  options.Text = "kept";  // a picture mark leaves the memo alone
  options.BevelOuter = 1;
  MarkToForm(r, options);
  EXPECT_FALSE(options.TextMark);
  EXPECT_EQ(options.Text, "kept");
  EXPECT_EQ(options.PictureFile, "/pictures/logo.png");
  EXPECT_EQ(options.Number(nfResizeX), "100");
  EXPECT_EQ(options.Number(nfResizeY), "100");
  EXPECT_EQ(options.Position, 0);
  EXPECT_EQ(options.BevelInner, -1);
  EXPECT_EQ(options.BevelOuter, 1);
  EXPECT_EQ(options.FrameStyle, -1);
  EXPECT_EQ(options.Transparency, 100);
  EXPECT_EQ(options.Flags, mfMix);

  TMarkInfo back;
  FormToMark(options, back);
  EXPECT_EQ(back.Name(), "pic");  // trimmed once, used everywhere
  EXPECT_EQ(back.ResizeX(), 100);
  EXPECT_EQ(back.BevelInner(), 0);  // no choice keeps the reset value
  EXPECT_EQ(back.BevelOuter(), 1);
  EXPECT_EQ(back.FrameStyle(), 0);
  EXPECT_EQ(back.EffectFlags(), mfMix);
  EXPECT_EQ(back.PictureFile(), "/pictures/logo.png");
  EXPECT_FALSE(back.TextMark());
  // A picture mark keeps neither text nor font of its own.
  EXPECT_EQ(JoinMarkText(back), "");
  EXPECT_EQ(back.FontName(), "Arial");
}

TEST(MarkEditorRecord, NumbersThatDoNotParseReadAsTheirMinimumAndStayInTheirFields) {
  TMarkOptions options = CreationOptions();
  options.Number(nfMosaicX) = "";          // own range 1..255
  options.Number(nfXOffset) = "abc";       // no range: 0
  options.Number(nfAngle) = "99999999";    // beyond the 16-bit field
  options.Number(nfTolerance) = "-5";      // own range 0..255
  options.Number(nfMaskLeft) = "2147483647";
  options.Number(nfMaskWidth) = "10";
  TMarkInfo r;
  FormToMark(options, r);
  EXPECT_EQ(r.MosaicWidth(), 1);
  EXPECT_EQ(r.XOffset(), 0);
  EXPECT_EQ(r.Angle(), 65535);
  EXPECT_EQ(r.KeyTolerance(), 0);
  EXPECT_EQ(r.MaskRect().Right, 2147483647);
}

// ---- Checks ----------------------------------------------------------------------

TEST(MarkEditorChecks, ValidateOptionsClampsAndStopsAtTheFirstText) {
  struct Case {
    TNumberField Field;
    const char* Typed;
    const char* Shown;
    bool Valid;
  };
  const Case cases[] = {
      {nfTolerance, "300", "255", true},
      {nfXOffset, "70000", "65537", true},
      {nfXOffset, "-70000", "-65537", true},
      {nfYOffset, "65537", "65537", true},
      {nfMosaicX, "0", "1", true},  // the spin edit's own minimum
      {nfMosaicY, "300", "255", true},
      {nfResizeX, "0", "1", true},
      {nfResizeY, "5000", "4096", true},
      {nfMaskLeft, "99999999999999999999999", "65535", true},
      {nfMaskWidth, "-1", "0", true},
      {nfScale, "0.5", "1", true},
      {nfScale, "2000", "1000", true},
      {nfScale, "12.5", "12.5", true},
      {nfScale, "12.", "12.", true},
      {nfScale, "abc", "1", false},
      {nfScale, "", "1", false},
      {nfSourceWidth, "x", "1", false},
      {nfSourceHeight, "0", "1", true},
      {nfAngle, "1.5", "1.5", false},
      {nfAngle, "-", "-", false},
      {nfAngle, "1-2", "1-2", false},
      {nfAngle, " 5", " 5", false},
      {nfAngle, "+5", "+5", false},
      {nfAngle, "70000", "65535", true},
  };
  for (const Case& c : cases) {
    TMarkOptions options = CreationOptions();
    options.Number(c.Field) = c.Typed;
    EXPECT_EQ(ValidateOptions(options), c.Valid) << NumberRule(c.Field).Control << " " << c.Typed;
    EXPECT_EQ(options.Number(c.Field), c.Shown) << NumberRule(c.Field).Control << " " << c.Typed;
  }
  // The first text that is no number ends the check: later edits are
  // left as typed.
  TMarkOptions options = CreationOptions();
  options.Number(nfXOffset) = "x";
  options.Number(nfTolerance) = "300";
  EXPECT_FALSE(ValidateOptions(options));
  EXPECT_EQ(options.Number(nfTolerance), "300");
}

TEST(MarkEditorChecks, ValidateBeforeSaveNamesTheFirstFault) {
  struct Case {
    const char* What;
    std::function<void(TMarkOptions&, bool& noPicture)> Change;
    int Message;
    TSaveFocus Focus;
  };
  const std::string longText(5101, 'a');
  const Case cases[] = {
      {"a good picture mark", [](TMarkOptions&, bool&) {}, -1, sfNone},
      {"blanks around the name", [](TMarkOptions& o, bool&) { o.Name = "  logo  "; }, -1, sfNone},
      {"two dots in the name", [](TMarkOptions& o, bool&) { o.Name = "v1..2"; }, -1, sfNone},
      {"15 two-byte letters", [](TMarkOptions& o, bool&) {
         o.Name.clear();
         for (int i = 0; i < 15; ++i) o.Name += "\xC3\xA9";
       }, -1, sfNone},
      {"text too long, picture mark", [&](TMarkOptions& o, bool&) { o.Text = longText; }, msg::MarkTextTooLong, sfNone},
      {"no picture", [](TMarkOptions&, bool& none) { none = true; }, msg::MarkPictureMissing, sfNone},
      {"empty name", [](TMarkOptions& o, bool&) { o.Name = ""; }, msg::MarkNameMissing, sfName},
      {"blank name", [](TMarkOptions& o, bool&) { o.Name = "   "; }, msg::MarkNameMissing, sfName},
      {"a folder step", [](TMarkOptions& o, bool&) { o.Name = "../x"; }, msg::MarkNameNotPlain, sfName},
      {"a slash", [](TMarkOptions& o, bool&) { o.Name = "a/b"; }, msg::MarkNameNotPlain, sfName},
      {"dot", [](TMarkOptions& o, bool&) { o.Name = "."; }, msg::MarkNameNotPlain, sfName},
      {"dot dot", [](TMarkOptions& o, bool&) { o.Name = " .. "; }, msg::MarkNameNotPlain, sfName},
      {"a NUL", [](TMarkOptions& o, bool&) { o.Name = std::string("a\0b", 3); }, msg::MarkNameNotPlain, sfName},
      {"31 bytes of name", [](TMarkOptions& o, bool&) { o.Name = std::string(31, 'n'); }, msg::MarkNameTooLong, sfName},
      {"16 two-byte letters", [](TMarkOptions& o, bool&) {
         o.Name.clear();
         for (int i = 0; i < 16; ++i) o.Name += "\xC3\xA9";
       }, msg::MarkNameTooLong, sfName},
      {"a text mark without text", [](TMarkOptions& o, bool&) { o.TextMark = true; }, msg::MarkTextMissing, sfText},
      {"a negative tolerance", [](TMarkOptions& o, bool&) { o.Number(nfTolerance) = "-1"; }, 0, sfNone},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    TMarkOptions options = CreationOptions();
    options.Name = "logo";
    bool noPicture = false;
    c.Change(options, noPicture);
    const TSaveCheck check = ValidateBeforeSave(options, noPicture);
    EXPECT_EQ(check.Ok, c.Message == -1);
    EXPECT_EQ(check.Message, c.Message == -1 ? 0 : c.Message);
    EXPECT_EQ(check.Focus, c.Focus);
  }
  // The negative tolerance is set to 0, so a second OK saves.
  TMarkOptions options = CreationOptions();
  options.Name = "logo";
  options.Number(nfTolerance) = "-1";
  EXPECT_FALSE(ValidateBeforeSave(options, false).Ok);
  EXPECT_EQ(options.Number(nfTolerance), "0");
  EXPECT_TRUE(ValidateBeforeSave(options, false).Ok);
}

// ---- Mark text --------------------------------------------------------------------

TEST(MarkEditorText, PiecesOfAHundredBytesNeverCutACharacter) {
  const std::string full(5100, 'a');
  const TMarkTextPieces pieces = SplitMarkText(full);
  for (const std::string& piece : pieces) EXPECT_EQ(piece.size(), 100u);
  EXPECT_EQ(JoinMarkText(pieces), full);
  EXPECT_TRUE(MarkTextFits(full));
  EXPECT_FALSE(MarkTextFits(full + "b"));
  EXPECT_EQ(JoinMarkText(SplitMarkText(full + "b")), full);

  // Through the record: 51 length bytes of 100.
  TMarkInfo r;
  InitMarkInfo(r);
  SplitMarkText(full, r);
  for (int i = 0; i < TMarkInfo::TextPieces; ++i) EXPECT_EQ(r.U8(TMarkInfo::oTextPieces + 101 * i), 100) << i;
  EXPECT_EQ(JoinMarkText(r), full);

  // Two-byte letters fill the pieces exactly; three-byte ones leave a byte
  // of each piece unused, so 5100 bytes of them do not fit.
  std::string twoByte, threeByte;
  for (int i = 0; i < 2550; ++i) twoByte += "\xC3\xA9";
  for (int i = 0; i < 1700; ++i) threeByte += "\xE2\x82\xAC";
  EXPECT_TRUE(MarkTextFits(twoByte));
  EXPECT_FALSE(MarkTextFits(threeByte));
  for (const std::string& piece : SplitMarkText(threeByte)) {
    EXPECT_EQ(piece.size(), 99u);
    EXPECT_EQ(static_cast<unsigned char>(piece.front()), 0xE2);
  }
  TMarkOptions options = CreationOptions();
  options.Name = "t";
  options.Text = threeByte;
  EXPECT_EQ(ValidateBeforeSave(options, false).Message, msg::MarkTextTooLong);

  // Bytes that start no character still move the cut on.
  const std::string broken(250, '\x80');
  EXPECT_EQ(JoinMarkText(SplitMarkText(broken)), broken);
}

TEST(MarkEditorText, LineBreaksAreStoredAsCrLf) {
  EXPECT_EQ(StoredLineBreaks("a\nb\n"), "a\r\nb\r\n");
  EXPECT_EQ(StoredLineBreaks("a\r\nb\rc"), "a\r\nb\r\nc");
  EXPECT_EQ(MemoLineBreaks("a\r\nb\rc\n"), "a\nb\nc\n");
  EXPECT_EQ(MemoLineBreaks(StoredLineBreaks("x\n\ny")), "x\n\ny");
  EXPECT_EQ(FormatText("a%sb%sc%sd", {"1", "2", "3"}), "a1b2c3d");
  EXPECT_EQ(FormatText("%s-%s", {"x"}), "x-");
  EXPECT_EQ(FloatText(100.0f), "100");
  EXPECT_EQ(FloatText(12.5f), "12.5");
  EXPECT_EQ(FloatText(0.1f), "0.1");
}

// ---- Saving -----------------------------------------------------------------------

namespace {

class MarkEditorSave : public WindowsTest {
 protected:
  void SetUp() override {
    WindowsTest::SetUp();
    set_.AddMark("");
    set_.Records[0].SetPictureType(".bmp");
    set_.MarkPictures[0].SetSize(3, 2);
    set_.MarkPictures[0].Canvas().Brush.Color = RGB(200, 10, 10);
    set_.MarkPictures[0].Canvas().FillRect(TRect{0, 0, 3, 2});
  }
  std::string File(const std::string& name) { return Dir() + "spm/" + name + ".spm"; }
  void Write(const std::string& name, std::vector<std::uint8_t> bytes = {1, 2, 3}) {
    fs::create_directories(Dir() + "spm");
    testsupport::WriteBytes(File(name), bytes);
  }
  bool Questions(std::size_t n) {
    std::size_t asked = 0;
    for (const auto& box : handler_.Boxes) asked += box.Kind == mkQuestion;
    return asked == n;
  }
  TMark set_;
};

}  // namespace

TEST_F(MarkEditorSave, NewNamesRenamesAndQuestions) {
  // A new mark of a new name asks nothing.
  EXPECT_TRUE(SaveMark(set_, {false, "", "logo"}));
  EXPECT_TRUE(FileExists(File("logo")));
  EXPECT_TRUE(handler_.Boxes.empty());

  // A new mark whose name is taken asks; No writes nothing.
  Write("taken");
  handler_.Answer = idNo;
  EXPECT_FALSE(SaveMark(set_, {false, "", "taken"}));
  EXPECT_EQ(testsupport::ReadBytes(File("taken")), (std::vector<std::uint8_t>{1, 2, 3}));
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(msg::AskReplaceExisting));
  EXPECT_EQ(handler_.Boxes[0].Kind, mkQuestion);
  handler_.Answer = idYes;
  EXPECT_TRUE(SaveMark(set_, {false, "", "taken"}));
  EXPECT_NE(testsupport::ReadBytes(File("taken")).size(), 3u);

  // Saving an edited mark under its own name asks nothing.
  handler_.Boxes.clear();
  EXPECT_TRUE(SaveMark(set_, {true, "logo", "logo"}));
  EXPECT_TRUE(handler_.Boxes.empty());

  // A rename writes the new file and removes the old one.
  EXPECT_TRUE(SaveMark(set_, {true, "logo", "v1..2"}));
  EXPECT_TRUE(FileExists(File("v1..2")));
  EXPECT_FALSE(FileExists(File("logo")));
  EXPECT_TRUE(handler_.Boxes.empty());
  TMark loaded;
  loaded.AddMark(GetMarkFileName("v1..2"));
  loaded.LoadMarks();
  EXPECT_EQ(loaded.MarkPictures[0].Canvas().Pixel(2, 1), RGB(200, 10, 10));

  // A rename onto another existing mark asks, and No keeps both files.
  handler_.Answer = idNo;
  EXPECT_FALSE(SaveMark(set_, {true, "v1..2", "taken"}));
  EXPECT_TRUE(FileExists(File("v1..2")));
  EXPECT_TRUE(Questions(1));
}

TEST_F(MarkEditorSave, ARenameToAnotherSpellingOfTheSameFileKeepsIt) {
  // On a volume that ignores case, "Logo" and "logo" are one file; a link
  // stands for that here.
  Write("logo");
  fs::create_symlink(File("logo"), File("Logo"));
  EXPECT_TRUE(SaveMark(set_, {true, "Logo", "logo"}));
  EXPECT_TRUE(handler_.Boxes.empty());  // the file being edited is not asked about
  EXPECT_TRUE(FileExists(File("logo")));
  EXPECT_TRUE(FileExists(File("Logo")));
}

TEST_F(MarkEditorSave, AFailedWriteIsReported) {
  // A folder where the file should go cannot be replaced by it.
  fs::create_directories(File("blocked"));
  EXPECT_FALSE(SaveMark(set_, {false, "", "blocked"}));
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(msg::MarkFileNotWritten));
  EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
  // A rename that fails leaves the old file.
  Write("old");
  handler_.Boxes.clear();
  EXPECT_FALSE(SaveMark(set_, {true, "old", "blocked"}));
  EXPECT_TRUE(FileExists(File("old")));
  // A name that is no plain file name is never written.
  EXPECT_FALSE(SaveMark(set_, {false, "", "../escape"}));
  EXPECT_FALSE(FileExists(Dir() + "escape.spm"));
}

// ---- Lists and small rules --------------------------------------------------------

TEST(MarkEditorLists, SizePresetsInOrderAndTheirSizes) {
  const std::vector<std::string> expected = {
      "100x100", "16x16", "32x32", "48x48", "96x96", "128x128", "192x192", "88x31", "150x100", "200x200",
      "300x300", "640x480", "800x600", "1024x768", "1600x1200", "2000x1600", "250x360(4x5 inch)",
      "286x430(4x6 inch)", "360x504(5x7 inch)", "428x576(6x8 inch)", "576x720(8x10 inch)",
      "864x1080(12x15 inch)", "360x250(5x4 inch)", "430x286(6x4 inch)", "504x360(7x5 inch)",
      "576x428(8x6 inch)", "720x576(10x8 inch)", "1080x864(15x12 inch)"};
  EXPECT_EQ(DefaultSizeItems(), expected);
  for (const std::string& item : DefaultSizeItems()) EXPECT_TRUE(ParseSizePreset(item)) << item;
  EXPECT_EQ(ParseSizePreset("250x360(4x5 inch)"), (TPoint{250, 360}));
  EXPECT_EQ(ParseSizePreset("1024x768"), (TPoint{1024, 768}));
  EXPECT_EQ(ParseSizePreset("1080x864(15x12 inch)"), (TPoint{1080, 864}));
  EXPECT_FALSE(ParseSizePreset("big"));
  EXPECT_FALSE(ParseSizePreset("10x"));
  EXPECT_EQ(ScaleItems(), (std::vector<std::string>{"500", "400", "300", "200", "75", "50", "25", "12.5"}));
}

TEST(MarkEditorLists, FitToTheSampleRoundsHalvesToEven) {
  EXPECT_EQ(FitToBackgroundPercent({500, 300}, {200, 100}), (TPoint{250, 300}));
  EXPECT_EQ(FitToBackgroundPercent({3, 5}, {8, 8}), (TPoint{38, 62}));  // 37.5 and 62.5
  EXPECT_EQ(FitToBackgroundPercent({1, 100000}, {1000, 1}), (TPoint{1, 4096}));
  EXPECT_FALSE(FitToBackgroundPercent({500, 300}, {0, 100}));
  EXPECT_EQ(VersionCaption("Version", "V3.09"), "Version:V3.09");
}

// ---- The preview ------------------------------------------------------------------

TEST(MarkEditorPreview, TheCompositeIsTheSampleOrAGuardedCheckerboard) {
  struct Case {
    const char* What;
    bool Resize;
    TPoint Source;
    bool Sample;
    TPoint Panel;
    TPoint Size;
    TPoint Base;
    bool UseSample;
    bool Fits;
  };
  const Case cases[] = {
      {"no sample: the panel", false, {100, 100}, false, {400, 300}, {400, 300}, {400, 300}, false, true},
      {"a collapsed panel", false, {100, 100}, false, {400, 0}, {400, 1}, {400, 1}, false, true},
      {"a new source size", true, {640, 480}, false, {400, 300}, {640, 480}, {640, 480}, false, true},
      {"the sample wins", true, {640, 480}, true, {400, 300}, {800, 600}, {800, 600}, true, true},
      {"beyond the pixel cap", true, {65535, 65535}, false, {400, 300}, {65535, 65535}, {65535, 65535}, false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.What);
    const TCompositePlan plan = PlanComposite(c.Resize, c.Source, c.Sample, {800, 600}, c.Panel);
    EXPECT_EQ(plan.Size, c.Size);
    EXPECT_EQ(plan.Base, c.Base);
    EXPECT_EQ(plan.UseSample, c.UseSample);
    EXPECT_EQ(plan.Fits, c.Fits);
  }
  // A composite 1000 wide in a panel 500 wide shows at half size; a small
  // one at its own size, centred.
  EXPECT_EQ(PreviewRect({502, 400}, {1000, 200}), (TRect{1, 150, 501, 250}));
  EXPECT_EQ(PreviewRect({402, 302}, {100, 50}), (TRect{151, 126, 251, 176}));
  EXPECT_EQ(MarkViewRect(false, {50, 50}, {300, 10}), (TRect{0, 0, 300, 10}));
  EXPECT_EQ(MarkViewRect(true, {110, 60}, {300, 10}), (TRect{5, 28, 105, 31}));
}

TEST(MarkEditorPreview, CheckerboardCellsOfEightPixels) {
  TBitmap board(21, 17, pf24bit);
  DrawCheckerboard(board);
  for (int y = 0; y < board.Height(); ++y) {
    for (int x = 0; x < board.Width(); ++x) {
      const bool grey = ((x / 8) + (y / 8)) % 2 == 1;
      ASSERT_EQ(board.Canvas().Pixel(x, y), grey ? RGB(206, 206, 206) : clWhite) << x << "," << y;
    }
  }
}

TEST(MarkEditorPreview, SwatchCaptionsAreBlackOrWhiteByTheSwatchsBrightness) {
  struct Case {
    TColor Back;
    TColor Caption;
  };
  const Case cases[] = {
      {RGB(0, 0, 0), clWhite},       {RGB(0, 0, 128), clWhite},     {RGB(0, 0, 255), clWhite},
      {RGB(128, 0, 0), clWhite},     {RGB(1, 2, 3), clWhite},       {RGB(90, 90, 90), clWhite},
      {RGB(255, 255, 255), clBlack}, {RGB(255, 255, 0), clBlack},   {RGB(0, 255, 0), clBlack},
      {RGB(128, 128, 128), clBlack}, {RGB(0, 170, 255), clBlack},
  };
  for (const Case& c : cases) EXPECT_EQ(CaptionColorOn(c.Back), c.Caption) << std::hex << c.Back;
  // Whatever the swatch, the caption stands out at least 4.5:1 (the
  // contrast of readable text), which one of black and white always does.
  for (int r = 0; r < 256; r += 17) {
    for (int g = 0; g < 256; g += 17) {
      for (int b = 0; b < 256; b += 17) {
        const double ratio = ContrastRatio(RGB(r, g, b), CaptionColorOn(RGB(r, g, b)));
        ASSERT_GE(ratio, 4.5) << r << "," << g << "," << b;
      }
    }
  }
}

TEST(MarkEditorPreview, ReadoutsPicksAndDragging) {
  TBitmap b(2, 1, pf24bit);
  b.Canvas().SetPixel(0, 0, RGB(0, 0, 0));
  b.Canvas().SetPixel(1, 0, RGB(120, 0, 0));
  const auto black = ReadPixel(b, 0, 0);
  ASSERT_TRUE(black);
  EXPECT_EQ(black->ColorText, " RGB:0,0,0");
  EXPECT_EQ(black->FontColor, clWhite);
  EXPECT_EQ(black->LocateText, "X:Y 0:0");
  const auto red = ReadPixel(b, 1, 0);
  ASSERT_TRUE(red);
  EXPECT_EQ(red->ColorText, " RGB:120,0,0");
  EXPECT_EQ(red->FontColor, clBlack);
  EXPECT_EQ(red->LocateText, "X:Y 1:0");
  EXPECT_FALSE(ReadPixel(b, 2, 0));
  EXPECT_FALSE(ReadPixel(b, 0, -1));
  EXPECT_EQ(ReadoutFontColor(RGB(200, 200, 200)), RGB(55, 55, 55));
  EXPECT_EQ(ContrastColor(RGB(0, 0, 0)), clWhite);
  EXPECT_EQ(ContrastColor(RGB(128, 128, 128)), clBlack);
  EXPECT_EQ(ContrastColor(RGB(200, 60, 100)), RGB(55, 195, 0));

  TOffsetDrag drag;
  EXPECT_FALSE(drag.Active());
  drag.Begin({100, 50}, {5, -3});
  EXPECT_TRUE(drag.Active());
  EXPECT_EQ(drag.OffsetsAt({130, 40}), (TPoint{35, -13}));
  drag.End();
  EXPECT_FALSE(drag.Active());
}
