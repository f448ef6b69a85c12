// The main window's rules without a window: layers, the conversion list,
// the summary caption, the shell list's order, the mark folder, the
// hand-over file and the preview's layout.


#include <filesystem>

#include "formats/registry.h"
#include "imaging/mark.h"
#include "windows/main_models.h"
#include "windows/windows_fixture.h"

namespace {

namespace fs = std::filesystem;

class MainModelsTest : public WindowsTest {
 protected:
  std::string Touch(const std::string& relative, std::size_t bytes = 1) {
    const std::string path = Dir() + relative;
    fs::create_directories(fs::path(path).parent_path());
    testsupport::WriteBytes(path, std::vector<std::uint8_t>(bytes, 'x'));
    return path;
  }
};

TLayerList LayersOf(std::initializer_list<std::pair<const char*, bool>> items) {
  TLayerList layers;
  for (const auto& [name, selected] : items) layers.Items.push_back({name, selected});
  return layers;
}

std::vector<std::string> NamesOf(const TLayerList& layers) { return layers.Names(); }
using Names = std::vector<std::string>;

// ---- Layers ---------------------------------------------------------------------

TEST(MainLayers, CheckingOneAfterTheOtherStacksTheNewestOnTop) {
  std::vector<TMarkEntry> marks = {{"A", false}, {"B", false}, {"C", false}};
  TLayerList layers;
  for (TMarkEntry& m : marks) {
    m.Checked = true;
    SyncLayersFromChecks(marks, layers);
  }
  EXPECT_EQ(NamesOf(layers), (Names{"C", "B", "A"}));
  // Drawn from the bottom: A first, C last.
  EXPECT_EQ(layers.NamesBottomFirst(), (Names{"A", "B", "C"}));

  marks[1].Checked = false;
  SyncLayersFromChecks(marks, layers);
  EXPECT_EQ(NamesOf(layers), (Names{"C", "A"}));
}

TEST(MainLayers, LayersOfMarksNoLongerListedAreDropped) {
  TLayerList layers = LayersOf({{"gone", false}, {"kept", false}});
  SyncLayersFromChecks({{"kept", true}}, layers);
  EXPECT_EQ(NamesOf(layers), (Names{"kept"}));
}

TEST(MainLayers, NamesDifferingInCaseAreTwoMarks) {
  std::vector<TMarkEntry> marks = {{"logo", true}, {"Logo", true}};
  TLayerList layers;
  SyncLayersFromChecks(marks, layers);
  EXPECT_EQ(layers.Count(), 2);
  marks[0].Checked = false;
  SyncLayersFromChecks(marks, layers);
  EXPECT_EQ(NamesOf(layers), (Names{"Logo"}));
}

TEST(MainLayers, ClearRemovesTheSelectedLayersAndChecksFollow) {
  TLayerList layers = LayersOf({{"C", true}, {"B", false}, {"A", true}});
  DeleteSelectedLayers(layers);
  EXPECT_EQ(NamesOf(layers), (Names{"B"}));
  std::vector<TMarkEntry> marks = {{"A", true}, {"B", true}, {"C", true}, {"D", false}};
  SyncChecksFromLayers(marks, layers);
  EXPECT_FALSE(marks[0].Checked);
  EXPECT_TRUE(marks[1].Checked);
  EXPECT_FALSE(marks[2].Checked);
  EXPECT_FALSE(marks[3].Checked);
}

TEST(MainLayers, UpAndDownAtTheEdgesKeepTheOrder) {
  TLayerList top = LayersOf({{"A", true}, {"B", true}, {"C", false}});
  MoveSelectedLayers(top, -1);
  EXPECT_EQ(NamesOf(top), (Names{"A", "B", "C"}));

  TLayerList bottom = LayersOf({{"A", false}, {"B", true}, {"C", true}});
  MoveSelectedLayers(bottom, 1);
  EXPECT_EQ(NamesOf(bottom), (Names{"A", "B", "C"}));

  // A layer away from the edge still moves past an unselected one.
  TLayerList split = LayersOf({{"A", true}, {"B", false}, {"C", true}});
  MoveSelectedLayers(split, -1);
  EXPECT_EQ(NamesOf(split), (Names{"A", "C", "B"}));
}

TEST(MainLayers, UpAndDownMoveABlockAndKeepItSelected) {
  TLayerList layers = LayersOf({{"A", false}, {"B", true}, {"C", true}, {"D", false}});
  MoveSelectedLayers(layers, -1);
  EXPECT_EQ(NamesOf(layers), (Names{"B", "C", "A", "D"}));
  EXPECT_TRUE(layers.Items[0].Selected);
  EXPECT_TRUE(layers.Items[1].Selected);
  EXPECT_FALSE(layers.Items[2].Selected);
  MoveSelectedLayers(layers, 1);
  MoveSelectedLayers(layers, 1);
  EXPECT_EQ(NamesOf(layers), (Names{"A", "D", "B", "C"}));
}

TEST(MainLayers, DroppingMovesTheSelectionToTheTargetAndStopsAtTheEnd) {
  TLayerList layers = LayersOf({{"A", false}, {"B", false}, {"C", true}, {"D", false}});
  EXPECT_TRUE(DropSelectedLayers(layers, 0));
  EXPECT_EQ(NamesOf(layers), (Names{"C", "A", "B", "D"}));

  // The first selected lands on the target as far as the last one fits.
  TLayerList two = LayersOf({{"A", true}, {"B", false}, {"C", true}, {"D", false}});
  EXPECT_TRUE(DropSelectedLayers(two, 3));
  EXPECT_EQ(NamesOf(two), (Names{"B", "A", "D", "C"}));

  TLayerList same = LayersOf({{"A", false}, {"B", true}});
  EXPECT_FALSE(DropSelectedLayers(same, 1));
  EXPECT_FALSE(DropSelectedLayers(same, 7));
  EXPECT_EQ(NamesOf(same), (Names{"A", "B"}));
}

// ---- Conversion list ----------------------------------------------------------

TEST_F(MainModelsTest, DropsAddOnlyNewRegularImageFiles) {
  const std::string listed = Touch("in/a.jpg");
  const std::string upper = Touch("in/b.JPG");
  const std::string text = Touch("in/notes.txt");
  fs::create_directories(Dir() + "in/folder.jpg");
  // A name far beyond 255 characters is taken whole.
  std::string deep = "in/";
  for (int i = 0; i < 6; ++i) deep += std::string(60, static_cast<char>('k' + i)) + "/";
  const std::string longName = Touch(deep + "picture.png");
  ASSERT_GT(longName.size(), 400u);

  const std::vector<std::string> added = DroppedImageFiles(
      {listed, "  " + upper + " ", text, Dir() + "in/folder.jpg", Dir() + "in/missing.jpg", longName, upper},
      {listed});
  EXPECT_EQ(added, (Names{upper, longName}));
}

TEST_F(MainModelsTest, SearchResultsAddImageFilesNotYetListed) {
  const Names found = {"/x/a.jpg", "/x/b.txt", "/x/A.jpg", "/x/c.png"};
  EXPECT_EQ(FoundImageFiles(found, {"/x/c.png"}), (Names{"/x/a.jpg", "/x/A.jpg"}));
  EXPECT_EQ(UnlistedFiles({"/x/a.jpg"}, {"/x/a.jpg", "/x/b.jpg", "/x/b.jpg"}), (Names{"/x/b.jpg"}));
}

TEST_F(MainModelsTest, TotalSizeCountsMissingFilesAsNothing) {
  const std::string a = Touch("a.jpg", 1000);
  const std::string b = Touch("b.jpg", 48);
  EXPECT_EQ(TotalFileSize({a, b, Dir() + "missing.jpg"}), 1048);
}

TEST(MainSummary, SizeTextsFollowTheirUnits) {
  EXPECT_EQ(FileSizeText(5), "005B");
  EXPECT_EQ(FileSizeText(999), "999B");
  EXPECT_EQ(FileSizeText(1000), "1,000B");
  EXPECT_EQ(FileSizeText(1023), "1,023B");
  EXPECT_EQ(FileSizeText(1024), "1.00KB");
  EXPECT_EQ(FileSizeText(1536), "1.50KB");
  // 1.125 KB exactly: the half goes up.
  EXPECT_EQ(FileSizeText(1152), "1.13KB");
  EXPECT_EQ(FileSizeText(1048575), "1024.00KB");
  EXPECT_EQ(FileSizeText(1048576), "1.00MB");
  EXPECT_EQ(FileSizeText(5 * 1048576 + 524288), "5.50MB");
  EXPECT_EQ(FileSizeText(std::int64_t{3} << 40), "3145728.00MB");
}

TEST(MainSummary, CaptionIsJoinedSoAPercentSignStaysText) {
  EXPECT_EQ(ConversionListCaption("Files", 0, 0), "Files");
  EXPECT_EQ(ConversionListCaption("Files", 3, 2048), "Files 3 2.00KB");
  EXPECT_EQ(ConversionListCaption("100% %s %d", 2, 10), "100% %s %d 2 010B");
}

// ---- Shell list order -------------------------------------------------------------

TEST(MainShellList, SizeAndDateSortByValueNamesWithoutCase) {
  const TShellEntry nine{"b.jpg", 9, "JPEG image", 2000};
  const TShellEntry ten{"A.jpg", 10, "jpeg image", 1000};
  // As text "10" would come before "9".
  EXPECT_LT(ShellListCompare(nine, ten, scSize, false), 0);
  EXPECT_GT(ShellListCompare(nine, ten, scSize, true), 0);
  EXPECT_GT(ShellListCompare(nine, ten, scModified, false), 0);
  EXPECT_GT(ShellListCompare(nine, ten, scName, false), 0);
  // Equal types (without case) fall back to the names.
  EXPECT_GT(ShellListCompare(nine, ten, scType, false), 0);

  std::vector<TShellEntry> entries = {{"b.png", 1, "", 0}, {"B.png", 1, "", 0}, {"a.png", 1, "", 0}};
  SortShellEntries(entries, scName, false);
  EXPECT_EQ(entries[0].Name, "a.png");
  EXPECT_EQ(entries[1].Name, "B.png");
  EXPECT_EQ(entries[2].Name, "b.png");
  SortShellEntries(entries, scName, true);
  EXPECT_EQ(entries[0].Name, "b.png");
  EXPECT_EQ(entries[2].Name, "a.png");
}

// ---- Mark folder -----------------------------------------------------------------------

TEST_F(MainModelsTest, MarkNamesLoseOnlyTheirFinalExtension) {
  Touch("spm/logo.v2.spm");
  Touch("spm/Plain.spm");
  Touch("spm/upper.SPM");
  Touch("spm/readme.txt");
  fs::create_directories(Dir() + "spm/folder.spm");
  const Names names = MarkNamesInFolder(Dir() + "spm");
  EXPECT_EQ(names, (Names{"logo.v2", "Plain"}));
  // The name listed finds its own file again.
  EXPECT_EQ(GetMarkFileName(names[0]), Dir() + "spm/logo.v2.spm");
  EXPECT_TRUE(MarkNamesInFolder(Dir() + "nothing").empty());
}

// ---- Hand-over file ---------------------------------------------------------------------

TEST_F(MainModelsTest, HandOverAddsTheFolderAndTheImagesOnceEach) {
  const std::string folder = Dir() + "shots";
  const std::string inFolder = Touch("shots/one.png");
  const std::string x = Touch("more/x.jpg");
  const std::string y = Touch("more/y.bmp");
  Touch("more/notes.txt");
  int asked = 0;
  const auto images = [&](const std::string& f) {
    ++asked;
    EXPECT_EQ(f, folder);
    return Names{inFolder};
  };
  const THandOverPlan plan =
      PlanHandOver({folder, x, y, inFolder, x, Dir() + "more/notes.txt", "", Dir() + "gone.jpg"}, {}, images);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(plan.Added, (Names{inFolder, x, y}));
  EXPECT_EQ(plan.Folder, folder);

  // A first line naming a file sends the tree to its folder, even after
  // folders named later; what is listed already stays out.
  const THandOverPlan second = PlanHandOver({x, folder}, {inFolder}, images);
  EXPECT_EQ(second.Added, (Names{x}));
  EXPECT_EQ(second.Folder, Dir() + "more");
}

TEST_F(MainModelsTest, HandOverFileIsReadAndDeleted) {
  const std::string file = HandOverFileName();
  EXPECT_EQ(file, Dir() + "~righ.dat");
  testsupport::WriteBytes(file, {'/', 'a', '\r', '\n', '/', 'b', ' ', 'c', '\n'});
  EXPECT_EQ(TakeHandOverLines(file), (Names{"/a", "/b c"}));
  EXPECT_FALSE(FileExists(file));
  EXPECT_TRUE(TakeHandOverLines(file).empty());
}

// ---- Preview ---------------------------------------------------------------------------------

TEST_F(MainModelsTest, PreviewPictureAndStatusText) {
  RegisterImageFormats();
  TBitmap source(5, 3, pf24bit);
  source.Canvas().Brush.Color = RGB(10, 20, 30);
  source.Canvas().FillRect(TRect{0, 0, 5, 3});
  const std::string path = Dir() + "p.bmp";
  source.SaveToFile(path);
  const TBitmap loaded = LoadPreviewPicture(path);
  EXPECT_EQ(loaded.Width(), 5);
  EXPECT_EQ(loaded.Height(), 3);
  EXPECT_EQ(loaded.PixelFormat(), pf24bit);
  EXPECT_EQ(loaded.Canvas().Pixel(4, 2), RGB(10, 20, 30));
  EXPECT_THROW(LoadPreviewPicture(Dir() + "p.unknownext"), Exception);

  EXPECT_EQ(PreviewStatusText("Type", "/a/b.jpg", 5000, 640, 480), "Type:.jpg Size:4K 640x480 ");
}

TEST(MainPreviewLayout, AutoFitShrinksLargePicturesAndCentresSmallOnes) {
  const TPreviewLayout small = LayoutPreviewArea(true, {400, 300}, {100, 50}, 16, 16);
  EXPECT_EQ(small.ViewSize, (TPoint{400, 300}));
  EXPECT_EQ(small.PictureRect, (TRect{150, 125, 250, 175}));
  EXPECT_EQ(small.DisplaySize, (TPoint{100, 50}));
  EXPECT_FALSE(small.Horizontal.Visible);
  EXPECT_FALSE(small.Vertical.Visible);

  const TPreviewLayout large = LayoutPreviewArea(true, {400, 300}, {800, 600}, 16, 16);
  EXPECT_LE(large.PictureRect.Width(), 396);
  EXPECT_LE(large.PictureRect.Height(), 296);
  EXPECT_EQ(large.PictureRect.Height(), 296);
  EXPECT_GE(large.PictureRect.Left, 2);
  EXPECT_EQ(large.PictureRect.Top, 2);
  EXPECT_TRUE(large.Stretched);
}

TEST(MainPreviewLayout, OneToOneScrollsOverWhatTheViewLeavesOut) {
  const TPreviewLayout layout = LayoutPreviewArea(false, {400, 300}, {1000, 200}, 16, 12);
  // The scroll bars take their room before the ranges are worked out.
  EXPECT_EQ(layout.ViewSize, (TPoint{384, 288}));
  EXPECT_EQ(layout.Horizontal, (TScrollSetup{true, 616, 384, 38}));
  EXPECT_EQ(layout.Vertical, (TScrollSetup{true, 0, 0, 0}));
  EXPECT_EQ(layout.PictureRect, (TRect{0, 44, 384, 244}));
  EXPECT_EQ(layout.DisplaySize, (TPoint{1000, 200}));
  EXPECT_FALSE(layout.Stretched);

  const TPreviewLayout exact = LayoutPreviewArea(false, {116, 112}, {100, 100}, 16, 12);
  EXPECT_EQ(exact.Horizontal.Max, 0);
  EXPECT_EQ(exact.Horizontal.PageStep, 100);
  EXPECT_EQ(exact.Vertical.LineStep, 10);
}

TEST(MainSaveAs, DefaultExtensionFollowsTheType) {
  EXPECT_EQ(PreviewSaveDefaultExt(1), "jpg");
  EXPECT_EQ(PreviewSaveDefaultExt(2), "jpeg");
  EXPECT_EQ(PreviewSaveDefaultExt(3), "gif");
  EXPECT_EQ(PreviewSaveDefaultExt(4), "bmp");
  EXPECT_EQ(PreviewSaveDefaultExt(5), "png");
  EXPECT_EQ(PreviewSaveDefaultExt(0), "bmp");
  EXPECT_EQ(PreviewSaveDefaultExt(9), "bmp");
}

TEST(MainSaveAs, ANameGetsTheChosenTypesExtensionUnlessItHasAPictureOne) {
  struct Case {
    const char* Chosen;
    int Type;
    const char* Saved;
  };
  const Case cases[] = {
      {"/p/v1..2", 1, "/p/v1..2.jpg"},      // a dot, but no extension of a picture
      {"/p/v1..2", 3, "/p/v1..2.gif"},
      {"/p/notes.", 5, "/p/notes..png"},
      {"/p/photo.tmp", 4, "/p/photo.tmp.bmp"},
      {"/p.d/sample", 2, "/p.d/sample.jpeg"},  // a dot in the folder is no extension
      {"/p/sample.jpg", 1, "/p/sample.jpg"},
      {"/p/shot.PNG", 1, "/p/shot.PNG"},        // a typed picture type is written as such
      {"/p/scan.tga", 3, "/p/scan.tga"},
      {"/p/v1..2", 0, "/p/v1..2.bmp"},
      {"", 1, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(PictureSaveName(c.Chosen, c.Type), c.Saved) << c.Chosen << " " << c.Type;
}

}  // namespace
