#include "formats/gif/gif_extensions.h"

#include <gtest/gtest.h>

#include "core/exceptions.h"
#include "formats/gif/gif_painter.h"
#include "support/test_support.h"

namespace {

std::vector<std::uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<std::uint8_t> out;
  for (int v : list) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

std::vector<std::uint8_t> Written(TGIFExtension& ext) {
  TMemoryStream out;
  ext.SaveToStream(out);
  return out.TakeBytes();
}

template <class T>
std::unique_ptr<T> ReadBack(const std::vector<std::uint8_t>& bytes, TGIFSubImage* frame, std::int64_t* end = nullptr) {
  TMemoryStream in(bytes);
  auto ext = std::make_unique<T>(frame);
  ext->LoadFromStream(in);
  if (end) *end = in.Position();
  return ext;
}

// A file of one 2x1 frame whose extensions are the given bytes.
std::vector<std::uint8_t> FileWith(const std::vector<std::uint8_t>& extensions) {
  auto out = Bytes({'G', 'I', 'F', '8', '9', 'a', 2, 0, 1, 0, 0x80, 0, 0, 0, 0, 0, 255, 255, 255});
  out.insert(out.end(), extensions.begin(), extensions.end());
  const auto frame = Bytes({',', 0, 0, 0, 0, 2, 0, 1, 0, 0, 2, 2, 0x4C, 0x01, 0, ';'});
  out.insert(out.end(), frame.begin(), frame.end());
  return out;
}

}  // namespace

TEST(GifExtensions, LoopingExtensionBytes) {
  TGIFImage gif;
  TGIFSubImage frame(&gif);
  TGIFAppExtNSLoop loop(&frame);
  EXPECT_EQ(Written(loop), Bytes({'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0}));
  loop.Loops = 0x0102;
  loop.BufferSize = 0x0A0B0C0D;
  const auto bytes = Written(loop);
  EXPECT_EQ(bytes, Bytes({'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 2, 1, 5, 2, 0x0D,
                          0x0C, 0x0B, 0x0A, 0}));
  auto back = ReadBack<TGIFAppExtNSLoop>(bytes, &frame);
  EXPECT_EQ(back->Loops, 0x0102);
  EXPECT_EQ(back->BufferSize, 0x0A0B0C0Du);
  // A loop sub-block of type 1 with only two bytes is invalid.
  try {
    ReadBack<TGIFAppExtNSLoop>(Bytes({'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 2, 1, 0, 0}),
                               &frame);
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Invalid GIF data");
  }
}

TEST(GifExtensions, GraphicControlBytesAndIndexCheck) {
  TGIFImage gif;
  TGIFSubImage frame(&gif);
  frame.ColorMap().Add(clBlack);
  frame.ColorMap().Add(clWhite);
  TGIFGraphicControlExtension gce(&frame);
  EXPECT_EQ(frame.GraphicControlExtension(), &gce);
  gce.SetDelay(0x1234);
  gce.SetDisposal(2);
  gce.SetTransparent(true);
  EXPECT_TRUE(frame.Transparent());
  gce.SetTransparentColorIndex(1);
  EXPECT_EQ(Written(gce), Bytes({'!', 0xF9, 4, 0x09, 0x34, 0x12, 1, 0}));
  std::vector<std::string> warnings;
  gif.OnWarning = [&](const TGIFItem*, TGIFSeverity, const std::string& m) { warnings.push_back(m); };
  gce.SetTransparentColorIndex(2);  // the colour count
  EXPECT_EQ(gce.TransparentColorIndex(), 0);
  EXPECT_EQ(warnings, std::vector<std::string>{"Invalid color index"});
  // A block that declares 6 bytes is read and stepped over whole.
  std::int64_t end = 0;
  TGIFSubImage other(&gif);
  auto back = ReadBack<TGIFGraphicControlExtension>(Bytes({'!', 0xF9, 6, 1, 10, 0, 3, 9, 9, 0, 0x2C}), &other, &end);
  EXPECT_EQ(back->GetDelay(), 10);
  EXPECT_EQ(back->TransparentColorIndex(), 3);
  EXPECT_TRUE(other.Transparent());
  EXPECT_EQ(end, 10);
}

TEST(GifExtensions, CommentsAreCutInto255ByteSubBlocks) {
  TGIFImage gif;
  TGIFSubImage frame(&gif);
  TGIFCommentExtension comment(&frame);
  comment.Comment.Add(std::string(300, 'c'));
  comment.Comment.Add("");  // no early terminator
  comment.Comment.Add("end");
  const auto bytes = Written(comment);
  ASSERT_EQ(bytes.size(), 2 + 1 + 255 + 1 + 45 + 1 + 3 + 1);
  EXPECT_EQ(bytes[2], 255);
  EXPECT_EQ(bytes[3 + 255], 45);
  EXPECT_EQ(bytes[3 + 255 + 1 + 45], 3);
  EXPECT_EQ(bytes.back(), 0);
  auto back = ReadBack<TGIFCommentExtension>(bytes, &frame);
  ASSERT_EQ(back->Comment.Count(), 3);
  EXPECT_EQ(back->Comment[1], std::string(45, 'c'));
  EXPECT_EQ(back->Comment[2], "end");
}

TEST(GifExtensions, PlainTextRoundTripAndLongerBlocks) {
  TGIFImage gif;
  TGIFSubImage frame(&gif);
  TGIFTextExtension text(&frame);
  text.Left = 3;
  text.GridWidth = 0x0102;
  text.CellHeight = 9;
  text.TextBGColorIndex = 7;
  text.Text.Add("hello");
  const auto bytes = Written(text);
  EXPECT_EQ(bytes, Bytes({'!', 0x01, 12, 3, 0, 0, 0, 2, 1, 0, 0, 0, 9, 0, 7, 5, 'h', 'e', 'l', 'l', 'o', 0}));
  auto back = ReadBack<TGIFTextExtension>(bytes, &frame);
  EXPECT_EQ(back->GridWidth, 0x0102);
  EXPECT_EQ(back->Text[0], "hello");
  std::int64_t end = 0;
  auto longer = ReadBack<TGIFTextExtension>(
      Bytes({'!', 0x01, 14, 3, 0, 0, 0, 2, 1, 0, 0, 0, 9, 0, 7, 0xEE, 0xEE, 1, 'x', 0, ';'}), &frame, &end);
  EXPECT_EQ(longer->TextBGColorIndex, 7);
  EXPECT_EQ(longer->Text[0], "x");
  EXPECT_EQ(end, 20);
}

TEST(GifExtensions, ApplicationBlockSizes) {
  TGIFImage gif;
  // Block size 9 is refused.
  try {
    gif.LoadFromStream(*std::make_unique<TMemoryStream>(FileWith(Bytes({'!', 0xFF, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}))));
    ADD_FAILURE();
  } catch (const GIFException& e) {
    EXPECT_STREQ(e.what(), "Unsupported Application Extension block size");
  }
  // Block size 10 reads ten identifier bytes and keeps its data.
  TMemoryStream ten(FileWith(Bytes({'!', 0xFF, 10, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', '1', '2', 2, 7, 8, 0})));
  gif.LoadFromStream(ten);
  ASSERT_EQ(gif.Images().Count(), 1);
  auto* app = dynamic_cast<TGIFUnknownAppExtension*>(gif.Images()[0]->Extensions()[0]);
  ASSERT_TRUE(app);
  EXPECT_EQ(app->IdentifierText(), std::string("ABCDEFGH12") + '\0');
  ASSERT_EQ(app->Blocks.size(), 1u);
  EXPECT_EQ(app->Blocks[0].Data, Bytes({7, 8}));
}

TEST(GifExtensions, UnknownApplicationExtensionIsWrittenBackUnchanged) {
  const auto ext = Bytes({'!', 0xFF, 11, 'M', 'Y', 'A', 'P', 'P', 'X', 'Y', 'Z', '1', '.', '0', 3, 1, 2, 3, 1, 9, 0});
  TGIFImage gif;
  TMemoryStream in(FileWith(ext));
  gif.LoadFromStream(in);
  TMemoryStream out;
  gif.SaveToStream(out);
  const auto& bytes = out.Bytes();
  EXPECT_NE(std::search(bytes.begin(), bytes.end(), ext.begin(), ext.end()), bytes.end());
  // ANIMEXTS1.0 is read as a looping extension and keeps its name.
  const auto anim = Bytes({'!', 0xFF, 11, 'A', 'N', 'I', 'M', 'E', 'X', 'T', 'S', '1', '.', '0', 3, 1, 5, 0, 0});
  TMemoryStream in2(FileWith(anim));
  gif.LoadFromStream(in2);
  auto* loop = dynamic_cast<TGIFAppExtNSLoop*>(gif.Images()[0]->Extensions()[0]);
  ASSERT_TRUE(loop);
  EXPECT_EQ(loop->Loops, 5);
  TMemoryStream out2;
  gif.SaveToStream(out2);
  EXPECT_NE(std::search(out2.Bytes().begin(), out2.Bytes().end(), anim.begin(), anim.end()), out2.Bytes().end());
}

TEST(GifExtensions, GifbuildDumpShowsWhatWeWrote) {
  if (!testsupport::HaveTool("/usr/bin/gifbuild")) GTEST_SKIP() << testsupport::SkipReason("/usr/bin/gifbuild");
  testsupport::TempDir dir;
  TGIFImage gif;
  auto frame = std::make_unique<TGIFSubImage>(&gif);
  auto* f = frame.get();
  f->SetBoundsValue(3, 3);
  f->SetBoundsValue(4, 2);
  f->ColorMap().Add(clRed);
  f->ColorMap().Add(clBlue);
  auto loop = std::make_unique<TGIFAppExtNSLoop>(f);
  loop->Loops = 7;
  f->Extensions().Add(std::move(loop));
  auto gce = std::make_unique<TGIFGraphicControlExtension>(f);
  gce->SetDelay(25);
  gce->SetDisposal(2);
  f->Extensions().Add(std::move(gce));
  auto comment = std::make_unique<TGIFCommentExtension>(f);
  comment->Comment.Add("hello there");
  f->Extensions().Add(std::move(comment));
  gif.Add(std::move(frame));
  gif.SaveToFile(dir.File("ext.gif"));
  auto r = testsupport::Run({"/usr/bin/gifbuild", "-d", dir.File("ext.gif")});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_NE(r.Out.find("netscape loop 7"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("delay 25"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("disposal mode 2"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("hello there"), std::string::npos) << r.Out;
}
