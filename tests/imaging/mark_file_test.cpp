// The mark record's layout and defaults, and mark files: round trips,
// placement of the embedded pictures, damaged and crafted files.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "app/messages.h"
#include "app/routines.h"
#include "core/bmp.h"
#include "core/streams.h"
#include "imaging/mark.h"
#include "imaging_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Unpack(const Bytes& packed) {
  TMemoryStream source(packed);
  TMemoryStream dest;
  EXPECT_TRUE(DecompressStream(source, dest));
  return dest.Bytes();
}

Bytes Pack(const Bytes& payload) {
  TMemoryStream source(payload);
  TMemoryStream dest;
  EXPECT_TRUE(CompressStream(zcDefault, source, dest));
  return dest.Bytes();
}

void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// The defaults written out byte by byte from the record's table.
Bytes ExpectedDefaults() {
  Bytes b(TMarkInfo::Size, 0);
  auto text = [&](std::size_t at, const char* s) {
    b[at] = static_cast<std::uint8_t>(std::strlen(s));
    std::memcpy(b.data() + at + 1, s, std::strlen(s));
  };
  auto bytes = [&](std::size_t at, std::initializer_list<int> v) {
    for (int x : v) b[at++] = static_cast<std::uint8_t>(x);
  };
  text(0, "V3.09");
  text(32, "mark1");
  text(5471, "Arial");
  bytes(5576, {0xFF, 0xFF, 0xFF, 0x00});
  bytes(5580, {9, 0, 0, 0});
  bytes(5598, {0xFF, 0xFF, 0xFF, 0x00});
  bytes(5637, {0xFF, 0xFF, 0xFF});
  bytes(5642, {100, 0, 100, 0, 100, 0, 100, 0});
  bytes(5650, {0xFF, 0xFF, 0xFF, 0x00});
  bytes(5662, {5, 0, 5, 0, 0xFF, 0xFF, 0xFF, 0x00});
  bytes(5670, {0, 50, 0, 2, 1});
  bytes(5707, {0x00, 0x00, 0xC8, 0x42});
  return b;
}

class MarkFileTest : public ImagingTest {
 protected:
  // A mark with a picture and the three companions as asked.
  void MakeMark(TMark& m, int width, bool background, bool frame, bool mask) {
    m.AddMark("");
    m.Records[0].SetPictureType(".bmp");
    m.Records[0].SetStoredPictureType(".bmp");
    m.MarkPictures[0] = PatternBitmap(width, 3, 1);
    if (background) m.Backgrounds[0] = PatternBitmap(width + 1, 2, 2);
    if (frame) m.Frames[0] = PatternBitmap(width + 2, 4, 3);
    if (mask) m.Masks[0] = PatternBitmap(width, 5, 4);
  }
};

}  // namespace

TEST_F(MarkFileTest, DefaultsLieAtTheirByteOffsets) {
  TMarkInfo r;
  InitMarkInfo(r);
  const Bytes expected = ExpectedDefaults();
  const Bytes bytes = r.Bytes();
  ASSERT_EQ(bytes.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_EQ(bytes[i], expected[i]) << "byte " << i;
  }
  EXPECT_EQ(r.SourceScale(), 100.0f);
  EXPECT_EQ(r.MaskRect(), (TRect{0, 0, 0, 0}));
  EXPECT_EQ(r.BevelOuter(), 2);
  // Defaults replace whatever a record held.
  r.SetU8(TMarkInfo::oReservedTail + 5, 7);
  InitMarkInfo(r);
  EXPECT_EQ(r.U8(TMarkInfo::oReservedTail + 5), 0);
}

TEST_F(MarkFileTest, TheReservedTailReadsAndComparesAsBytes) {
  // A record whose tail was written (and zeroed again) equals one whose
  // tail never was; a single byte anywhere in it tells them apart, and
  // reads across the end of the fields see the bytes as stored.
  const std::size_t last = TMarkInfo::Size - 1;
  for (std::size_t at : {std::size_t{TMarkInfo::oReservedTail}, std::size_t{TMarkInfo::oReservedTail + 1000}, last}) {
    SCOPED_TRACE(at);
    TMarkInfo plain;
    TMarkInfo written;
    written.SetU8(at, 0x5A);
    EXPECT_FALSE(plain == written);
    EXPECT_EQ(written.Bytes()[at], 0x5A);
    EXPECT_EQ(TMarkInfo(written.Bytes()), written);
    const auto pieces = written.Pieces();
    EXPECT_EQ(pieces[0].size() + pieces[1].size(), TMarkInfo::Size);
    EXPECT_EQ(pieces[1][at - pieces[0].size()], 0x5A);
    written.SetU8(at, 0);
    EXPECT_EQ(plain, written);
  }
  TMarkInfo r;
  r.SetU32(TMarkInfo::oReservedTail - 2, 0x44332211u);  // two bytes on either side
  EXPECT_EQ(r.U8(TMarkInfo::oReservedTail), 0x33);
  EXPECT_EQ(r.U16(TMarkInfo::oReservedTail - 1), 0x3322);
  EXPECT_EQ(r.U32(TMarkInfo::oReservedTail - 2), 0x44332211u);
  EXPECT_THROW(r.SetU16(last, 1), ERangeError);
  EXPECT_THROW(TMarkInfo(std::vector<std::uint8_t>(TMarkInfo::Size - 1)), ERangeError);
}

TEST_F(MarkFileTest, ShortStringsClampOnReadingAndCutOnCharacters) {
  TMarkInfo r;
  r.SetU8(TMarkInfo::oVersion, 200);  // longer than its ten bytes
  r.SetRaw(1, Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'});
  EXPECT_EQ(r.Version(), "ABCDEFGHIJ");
  EXPECT_EQ(r.U8(TMarkInfo::oName), 0);  // the next field is untouched

  // 29 bytes of ASCII and a two-byte character do not fit in 30 bytes.
  r.SetName(std::string(29, 'x') + "\xC3\xA9");
  EXPECT_EQ(r.Name(), std::string(29, 'x'));
  r.SetTextPiece(50, std::string(99, 'a') + "\xE4\xB8\xAD");  // a three-byte character
  EXPECT_EQ(r.TextPiece(50), std::string(99, 'a'));
  EXPECT_EQ(r.U8(320 + 101 * 50), 99);
  r.SetTextPiece(0, "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(r.TextPiece(0), "\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_THROW(r.TextPiece(51), ERangeError);
  EXPECT_THROW(r.U32(TMarkInfo::Size - 3), ERangeError);
}

TEST_F(MarkFileTest, SaveLoadSaveGivesIdenticalBytesForOddRowPadding) {
  for (int width : {1, 2, 3}) {
    SCOPED_TRACE(width);
    TMark first;
    MakeMark(first, width, true, true, true);
    first.Records[0].SetTransparency(37);
    first.Records[0].SetMaskRect({1, 2, 30, 40});
    const std::string a = Dir() + "a.spm";
    ASSERT_TRUE(first.SaveMarkFile(0, a));

    TMark second;
    second.AddMarkFiles(std::vector<std::string>{a});
    second.LoadMarks();
    EXPECT_TRUE(SamePixels(second.MarkPictures[0], first.MarkPictures[0]));
    EXPECT_TRUE(SamePixels(second.PristineMarks[0], first.MarkPictures[0]));
    EXPECT_TRUE(SamePixels(second.Backgrounds[0], first.Backgrounds[0]));
    EXPECT_TRUE(SamePixels(second.Frames[0], first.Frames[0]));
    EXPECT_TRUE(SamePixels(second.Masks[0], first.Masks[0]));
    EXPECT_EQ(second.Records[0], first.Records[0]);
    EXPECT_EQ(second.MarkPictures[0].PixelFormat(), pf24bit);

    const std::string b = Dir() + "b.spm";
    ASSERT_TRUE(second.SaveMarkFile(0, b));
    EXPECT_EQ(testsupport::ReadBytes(a), testsupport::ReadBytes(b));
  }
}

TEST_F(MarkFileTest, PicturesFollowTheRecordInOrder) {
  TMark m;
  MakeMark(m, 3, true, true, true);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "m.spm"));
  const Bytes payload = Unpack(testsupport::ReadBytes(Dir() + "m.spm"));
  const TMarkInfo& r = m.Records[0];
  const std::uint64_t pic = WriteBmp(m.MarkPictures[0]).size();
  EXPECT_EQ(r.PictureLength(), pic);
  EXPECT_EQ(r.BackgroundOffset(), TMarkInfo::Size + pic);
  EXPECT_EQ(r.FrameOffset(), r.BackgroundOffset() + r.BackgroundLength());
  EXPECT_EQ(r.MaskOffset(), r.FrameOffset() + r.FrameLength());
  EXPECT_EQ(payload.size(), r.MaskOffset() + r.MaskLength());
  EXPECT_EQ(Bytes(payload.begin(), payload.begin() + TMarkInfo::Size), r.Bytes());
  // Each stream is a BMP file image starting "BM".
  for (std::uint32_t at : {std::uint32_t{TMarkInfo::Size}, r.BackgroundOffset(), r.FrameOffset(), r.MaskOffset()}) {
    EXPECT_EQ(payload[at], 'B');
    EXPECT_EQ(payload[at + 1], 'M');
  }
}

TEST_F(MarkFileTest, AbsentPicturesTakeNoBytes) {
  TMark m;
  MakeMark(m, 2, false, false, false);
  // An earlier load may have left lengths; a removed picture writes 0.
  m.Records[0].SetMaskLength(999);
  m.Records[0].SetMaskOffset(1234);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "m.spm"));
  const Bytes payload = Unpack(testsupport::ReadBytes(Dir() + "m.spm"));
  const TMarkInfo& r = m.Records[0];
  EXPECT_EQ(r.BackgroundLength(), 0u);
  EXPECT_EQ(r.FrameLength(), 0u);
  EXPECT_EQ(r.MaskLength(), 0u);
  EXPECT_EQ(r.MaskOffset(), 1234u);  // the offset of an absent picture keeps its value
  EXPECT_EQ(payload.size(), TMarkInfo::Size + r.PictureLength());

  TMark onlyMask;
  MakeMark(onlyMask, 1, false, false, true);
  ASSERT_TRUE(onlyMask.SaveMarkFile(0, Dir() + "k.spm"));
  EXPECT_EQ(onlyMask.Records[0].MaskOffset(), TMarkInfo::Size + onlyMask.Records[0].PictureLength());
  TMark back;
  back.AddMark(Dir() + "k.spm");
  back.LoadMarks();
  EXPECT_TRUE(SamePixels(back.Masks[0], onlyMask.Masks[0]));
  EXPECT_TRUE(back.Backgrounds[0].Empty());
  EXPECT_TRUE(back.Frames[0].Empty());
}

TEST_F(MarkFileTest, ReservedBytesSurviveLoadAndSave) {
  TMark m;
  MakeMark(m, 3, false, false, false);
  m.Records[0].SetShortString(TMarkInfo::oReserved, 20, "kept");
  m.Records[0].SetU8(TMarkInfo::oReservedTail, 0xAB);
  m.Records[0].SetU8(TMarkInfo::Size - 1, 0xCD);
  m.Records[0].SetU8(TMarkInfo::oEditorSwitch, 3);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "r.spm"));
  TMark back;
  back.AddMark(Dir() + "r.spm");
  back.LoadMarks();
  EXPECT_EQ(back.Records[0].ShortString(TMarkInfo::oReserved, 20), "kept");
  EXPECT_EQ(back.Records[0].U8(TMarkInfo::oReservedTail), 0xAB);
  EXPECT_EQ(back.Records[0].U8(TMarkInfo::Size - 1), 0xCD);
  EXPECT_EQ(back.Records[0].EditorSwitch(), 3);
}

TEST_F(MarkFileTest, EmptyPictureTypeLoadsTheRecordOnly) {
  TMark m;
  MakeMark(m, 3, true, false, true);
  m.Records[0].SetPictureType("");
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "t.spm"));
  EXPECT_GT(m.Records[0].PictureLength(), 0u);
  TMark back;
  back.AddMark(Dir() + "t.spm");
  back.LoadMarks();
  EXPECT_EQ(back.Records[0], m.Records[0]);
  EXPECT_TRUE(back.MarkPictures[0].Empty());
  EXPECT_TRUE(back.Backgrounds[0].Empty());
  EXPECT_TRUE(back.Masks[0].Empty());
}

TEST_F(MarkFileTest, MarkSetLoadsEveryFileInLayerOrder) {
  std::vector<std::string> files;
  for (int i = 0; i < 3; ++i) {
    TMark m;
    MakeMark(m, i + 1, false, false, false);
    m.Records[0].SetAnchor(static_cast<std::uint8_t>(i));
    files.push_back(Dir() + "layer" + std::to_string(i) + ".spm");
    ASSERT_TRUE(m.SaveMarkFile(0, files.back()));
  }
  files.push_back(Dir() + "missing.spm");
  TMark set;
  set.AddMarkFiles(files);
  ASSERT_EQ(set.Count(), 4);
  set.LoadMarks();
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(set.Records[static_cast<std::size_t>(i)].Anchor(), i);
    EXPECT_EQ(set.MarkPictures[static_cast<std::size_t>(i)].Width(), i + 1);
    EXPECT_EQ(set.FileNames[i], files[static_cast<std::size_t>(i)]);
  }
  // A missing file leaves its mark with the defaults and no picture.
  TMarkInfo defaults;
  InitMarkInfo(defaults);
  EXPECT_EQ(set.Records[3], defaults);
  EXPECT_TRUE(set.MarkPictures[3].Empty());
  EXPECT_EQ(set.Masks.size(), 4u);
  EXPECT_EQ(set.PristineMarks.size(), 4u);
}

TEST_F(MarkFileTest, GetMarkFileNameMakesTheFolderAndRefusesEscapes) {
  EXPECT_FALSE(DirectoryExists(Dir() + "spm"));
  EXPECT_EQ(GetMarkFileName("logo"), Dir() + "spm/logo.spm");
  EXPECT_TRUE(DirectoryExists(Dir() + "spm"));
  // Every plain file name is a mark name, dots and backslashes included.
  for (const char* good : {"Überschrift 2", "v1..2", "Sale...", "...", "a\\b", ".hidden", "x.spm"}) {
    EXPECT_EQ(GetMarkFileName(good), Dir() + "spm/" + good + ".spm") << good;
  }
  for (const std::string& bad : {std::string(""), std::string("../x"), std::string("a/b"), std::string("."),
                                 std::string(".."), std::string("/"), std::string("a\0b", 3)}) {
    EXPECT_EQ(GetMarkFileName(bad), "") << bad;
  }
}

TEST_F(MarkFileTest, DamagedFilesFailCleanlyAndChangeNothing) {
  TMark good;
  MakeMark(good, 3, true, true, true);
  ASSERT_TRUE(good.SaveMarkFile(0, Dir() + "g.spm"));
  const Bytes packed = testsupport::ReadBytes(Dir() + "g.spm");
  const Bytes payload = Unpack(packed);
  const std::string damagedText = GetMessageText(msg::MarkFileDamaged);
  ASSERT_FALSE(damagedText.empty());

  TMarkInfo before;
  InitMarkInfo(before);
  before.SetAnchor(7);
  auto expectDamaged = [&](const Bytes& file, const char* what) {
    SCOPED_TRACE(what);
    TMarkInfo record = before;
    TBitmap picture = PatternBitmap(2, 2), mask = PatternBitmap(1, 1), frame, background;
    try {
      TMark::LoadMarkData(file, record, &mask, &frame, &background, &picture);
      ADD_FAILURE() << "no error";
    } catch (const EMarkFileError& e) {
      EXPECT_EQ(std::string(e.what()), damagedText);
    }
    EXPECT_EQ(record, before);
    EXPECT_TRUE(SamePixels(picture, PatternBitmap(2, 2)));
    EXPECT_TRUE(SamePixels(mask, PatternBitmap(1, 1)));
  };

  Bytes broken = packed;
  broken[broken.size() / 2] ^= 0x5A;
  broken[broken.size() / 2 + 1] ^= 0xA5;
  expectDamaged(broken, "damaged zlib");
  expectDamaged(Bytes(packed.begin(), packed.begin() + 40), "cut short");
  expectDamaged(Bytes{}, "empty");
  expectDamaged(Pack(Bytes(payload.begin(), payload.begin() + 1000)), "payload shorter than the record");

  Bytes crafted = payload;
  Put32(crafted, TMarkInfo::oBackgroundOffset, 0xFFFFFFF0u);
  Put32(crafted, TMarkInfo::oBackgroundLength, 0x20u);
  expectDamaged(Pack(crafted), "offset + length wraps in 32 bits");
  crafted = payload;
  Put32(crafted, TMarkInfo::oMaskLength, Get32(payload, TMarkInfo::oMaskLength) + 1);
  expectDamaged(Pack(crafted), "mask one byte beyond the data");
  crafted = payload;
  Put32(crafted, TMarkInfo::oPictureLength, 0xFFFFFFFFu);
  expectDamaged(Pack(crafted), "picture length beyond the data");

  // A picture stream that is no BMP is the BMP reader's error.
  crafted = payload;
  crafted[TMarkInfo::Size] = 'X';
  TMarkInfo record = before;
  TBitmap picture;
  EXPECT_THROW(TMark::LoadMarkData(Pack(crafted), record, nullptr, nullptr, nullptr, &picture), EInvalidGraphic);
  EXPECT_EQ(record, before);

  // A length whose bitmap pointer is absent is not read at all.
  crafted = payload;
  Put32(crafted, TMarkInfo::oFrameOffset, 0xFFFFFFF0u);
  TMarkInfo r2;
  EXPECT_NO_THROW(TMark::LoadMarkData(Pack(crafted), r2, nullptr, nullptr, nullptr, &picture));
  EXPECT_TRUE(SamePixels(picture, good.MarkPictures[0]));
}

TEST_F(MarkFileTest, LoadMarksStopsAtADamagedFile) {
  testsupport::WriteBytes(Dir() + "bad.spm", {1, 2, 3, 4, 5, 6, 7, 8});
  TMark set;
  set.AddMark(Dir() + "bad.spm");
  EXPECT_THROW(set.LoadMarks(), EMarkFileError);
}

TEST_F(MarkFileTest, UnsafeOrUnwritableNamesAreNotSaved) {
  TMark m;
  MakeMark(m, 2, false, false, false);
  std::filesystem::create_directories(Dir() + "spm");
  testsupport::WriteBytes(Dir() + "spm/old.spm", {1, 2, 3});
  for (const std::string& bad : {Dir() + "spm/../old.spm", Dir() + "spm/.spm", Dir() + "spm/...spm",
                                 Dir() + "spm/a" + std::string(1, '\0') + "b.spm", Dir() + "no/such/folder/m.spm"}) {
    handler_.Boxes.clear();
    EXPECT_FALSE(m.SaveMarkFile(0, bad)) << bad;
    ASSERT_EQ(handler_.Boxes.size(), 1u) << bad;
    EXPECT_EQ(handler_.Boxes[0].Text, GetMessageText(msg::MarkFileNotWritten));
    EXPECT_EQ(handler_.Boxes[0].Kind, mkInformation);
    EXPECT_EQ(handler_.Boxes[0].Caption, "System message");
  }
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "spm/old.spm"), (Bytes{1, 2, 3}));
  EXPECT_FALSE(m.SaveMarkFile(5, Dir() + "spm/old.spm"));  // no such mark
  EXPECT_EQ(testsupport::ReadBytes(Dir() + "spm/old.spm"), (Bytes{1, 2, 3}));
  // WriteMarkFile refuses the same paths by raising, without a message.
  handler_.Boxes.clear();
  EXPECT_THROW(m.WriteMarkFile(0, Dir() + "spm/../old.spm"), EFCreateError);
  EXPECT_THROW(m.WriteMarkFile(0, Dir() + "no/such/folder/m.spm"), Exception);
  EXPECT_TRUE(handler_.Boxes.empty());
  // Saving over an existing mark file replaces it and leaves no temporary file.
  EXPECT_TRUE(m.SaveMarkFile(0, Dir() + "spm/old.spm"));
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(Dir() + "spm")) files += e.is_regular_file();
  EXPECT_EQ(files, 1);
  // Names with dots in a row, and folders holding a backslash, are plain.
  std::filesystem::create_directories(Dir() + "back\\slash");
  for (const std::string& good : {Dir() + "spm/x..y.spm", Dir() + "spm/Sale....spm", Dir() + "spm/a\\b.spm",
                                  Dir() + "back\\slash/m.spm"}) {
    handler_.Boxes.clear();
    EXPECT_TRUE(m.SaveMarkFile(0, good)) << good;
    EXPECT_TRUE(handler_.Boxes.empty()) << good;
    TMarkInfo record;
    TBitmap picture;
    TMark::LoadMarkFile(good, record, nullptr, nullptr, nullptr, &picture);
    EXPECT_TRUE(SamePixels(picture, m.MarkPictures[0])) << good;
  }
}

// Python's zlib and Pillow read what we write, apart from our code.
TEST_F(MarkFileTest, FileLayoutReadByAnIndependentReader) {
  if (!testsupport::HavePillow()) GTEST_SKIP() << "Pillow for /usr/bin/python3 is not installed";
  TMark m;
  MakeMark(m, 3, false, true, false);
  m.Records[0].SetXOffset(-12);
  ASSERT_TRUE(m.SaveMarkFile(0, Dir() + "p.spm"));
  const char* script = R"(
import sys, zlib, struct, io
from PIL import Image
data = open(sys.argv[1], 'rb').read()
n = struct.unpack('<I', data[:4])[0]
p = zlib.decompress(data[4:])
assert len(p) == n
pl, = struct.unpack_from('<I', p, 5626)
fl, fo = struct.unpack_from('<II', p, 5675)
xo, = struct.unpack_from('<i', p, 5589)
pic = Image.open(io.BytesIO(p[134214:134214 + pl]))
frm = Image.open(io.BytesIO(p[fo:fo + fl]))
print(p[0:6].decode('latin-1'), xo, pic.mode, pic.size, pic.getpixel((2, 1)), frm.size, fo == 134214 + pl)
)";
  auto r = testsupport::Run({"/usr/bin/python3", "-c", script, Dir() + "p.spm"});
  ASSERT_EQ(r.ExitCode, 0) << r.Err;
  const TBgr px = PixelAt(m.MarkPictures[0], 2, 1);
  const std::string expected = "\x05V3.09 -12 RGB (3, 3) (" + std::to_string(px.R) + ", " + std::to_string(px.G) +
                               ", " + std::to_string(px.B) + ") (5, 4) True\n";
  EXPECT_EQ(r.Out, expected);
}
