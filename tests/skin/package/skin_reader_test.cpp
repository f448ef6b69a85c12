// The container reader on containers made here byte by byte: names are
// found whatever their case, ".ini" finds the description, and every bad
// length, count or size gives False without touching what was loaded.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "skin/author/skin_packer.h"
#include "skin/package/skin_reader.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::Put32;

struct Entry {
  std::string Name;
  std::string Data;
};

// A container as the layout gives it; the fields can be set wrong.
struct Container {
  std::int32_t Version = 20000;
  std::vector<Entry> Entries;
  std::string NameListEnd;  // appended to the name list
  int LengthChange = 0;     // added to L
  std::vector<std::int32_t> Sizes;  // instead of the real sizes
  int DataCut = 0;          // bytes cut from the end

  Bytes Build() const {
    std::string names;
    for (std::size_t i = 0; i < Entries.size(); ++i) names += (i ? "\r\n" : "") + Entries[i].Name;
    names += NameListEnd;
    Bytes b;
    Put32(b, static_cast<std::uint32_t>(Version));
    Put32(b, static_cast<std::uint32_t>(static_cast<int>(names.size()) + LengthChange));
    Put32(b, 0x11111111);
    Put32(b, 0x22222222);
    b.insert(b.end(), names.begin(), names.end());
    if (Sizes.empty()) {
      for (const Entry& e : Entries) Put32(b, static_cast<std::uint32_t>(e.Data.size()));
    } else {
      for (std::int32_t s : Sizes) Put32(b, static_cast<std::uint32_t>(s));
    }
    for (const Entry& e : Entries) b.insert(b.end(), e.Data.begin(), e.Data.end());
    b.resize(b.size() - static_cast<std::size_t>(DataCut));
    return b;
  }
};

Container Sample() {
  Container c;
  c.Entries = {{"Top.BMP", "top bits"}, {"My Skin.ini", "[TitlebarSkin]"}, {"left.bmp", "left"}};
  return c;
}

std::string Extract(const TSkinReader& r, const std::string& name) {
  TMemoryStream s;
  r.ExtractByName(name, s);
  return std::string(s.Bytes().begin(), s.Bytes().end());
}

class SkinReaderTest : public ::testing::Test {
 protected:
  SkinReaderTest() {
    reader_.OnMessage = [this](const std::string& text) { messages_.push_back(text); };
  }
  bool LoadPacked(const Bytes& container) {
    TMemoryStream packed(PackSkinStream(container));
    return reader_.LoadFromStream(packed);
  }
  TSkinReader reader_;
  std::vector<std::string> messages_;
};

TEST_F(SkinReaderTest, EntriesAreFoundWhateverTheirCase) {
  ASSERT_TRUE(LoadPacked(Sample().Build()));
  EXPECT_EQ(reader_.Count(), 3);
  EXPECT_EQ(reader_.Names()[0], "top.bmp");
  EXPECT_EQ(Extract(reader_, "top.bmp"), "top bits");
  EXPECT_EQ(Extract(reader_, "TOP.bmp"), "top bits");
  EXPECT_EQ(Extract(reader_, "LEFT.BMP"), "left");
  EXPECT_EQ(Extract(reader_, "right.bmp"), "");
  EXPECT_EQ(reader_.Header()[2], 0x11111111);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(SkinReaderTest, TheFirstEntryContainingAPartIsTheDescription) {
  ASSERT_TRUE(LoadPacked(Sample().Build()));
  TMemoryStream s;
  std::string name = "before";
  reader_.ExtractFirstContaining(".ini", s, name);
  EXPECT_EQ(name, "my skin.ini");
  EXPECT_EQ(std::string(s.Bytes().begin(), s.Bytes().end()), "[TitlebarSkin]");
  EXPECT_EQ(s.Position(), 0);
  // The part is used as it is given: capitals never match the lower-cased
  // names, and no match leaves the name alone and the target empty.
  name = "before";
  reader_.ExtractFirstContaining(".INI", s, name);
  EXPECT_EQ(name, "before");
  EXPECT_EQ(s.Size(), 0);
}

TEST_F(SkinReaderTest, AFinalLineBreakAddsNoEmptyEntry) {
  Container c = Sample();
  c.NameListEnd = "\r\n";
  ASSERT_TRUE(LoadPacked(c.Build()));
  EXPECT_EQ(reader_.Count(), 3);
  EXPECT_EQ(Extract(reader_, "left.bmp"), "left");
}

TEST_F(SkinReaderTest, ASizeOfZeroIsAnOlderSkin) {
  Bytes packed;
  Put32(packed, 0);
  TMemoryStream stream(packed);
  EXPECT_FALSE(reader_.LoadFromStream(stream));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "This is Older Skin File\rPlease update to new version !");
}

TEST_F(SkinReaderTest, BadContainersAreRefusedAndLeaveTheReaderAsItWas) {
  ASSERT_TRUE(LoadPacked(Sample().Build()));
  const auto with = [](auto change) {
    Container c = Sample();
    change(c);
    return c.Build();
  };
  struct Case {
    const char* Name;
    Bytes Container;
    bool Message;
  };
  const Case cases[] = {
      {"another version", with([](Container& c) { c.Version = 19999; }), true},
      {"shorter than its header", Bytes{0x20, 0x4E, 0, 0, 1, 0}, true},
      {"name list longer than the rest", with([](Container& c) { c.LengthChange = 1000; }), false},
      {"negative name list", with([](Container& c) { c.LengthChange = -1000; }), false},
      {"sizes cut off", with([](Container& c) { c.Entries[2].Data.clear(); c.DataCut = 22 + 6; }), false},
      {"a negative size", with([](Container& c) { c.Sizes = {8, -1, 4}; }), false},
      {"sizes beyond the data", with([](Container& c) { c.Sizes = {8, 14, 5}; }), false},
      {"sizes adding past 2^31", with([](Container& c) { c.Sizes = {0x7FFFFFFF, 0x7FFFFFFF, 4}; }), false},
      {"more than 1001 names", with([](Container& c) {
         c.Entries.assign(1002, Entry{"x.bmp", ""});
       }), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    messages_.clear();
    EXPECT_FALSE(reader_.LoadFromContainer(c.Container));
    EXPECT_EQ(messages_.size(), c.Message ? 1u : 0u);
    EXPECT_EQ(reader_.Count(), 3);
    EXPECT_EQ(Extract(reader_, "top.bmp"), "top bits");
  }
  // 1001 entries still fit.
  Container most;
  most.Entries.assign(1001, Entry{"x.bmp", "ab"});
  EXPECT_TRUE(reader_.LoadFromContainer(most.Build()));
  EXPECT_EQ(reader_.Count(), 1001);
}

TEST_F(SkinReaderTest, TheAuthorsContainerReadsBack) {
  const std::vector<TSkinEntry> entries = {{"a.ini", {'x'}}, {"b.bmp", {1, 2, 3}}, {"c.bmp", {}}};
  ASSERT_TRUE(LoadPacked(WriteSkinContainer(entries)));
  ASSERT_EQ(reader_.Count(), 3);
  EXPECT_EQ(Extract(reader_, "b.bmp"), std::string("\1\2\3", 3));
  EXPECT_EQ(reader_.EntrySize(2), 0);
}

}  // namespace
