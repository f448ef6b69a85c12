// The store of packages: item names from their IDs, unique names,
// copying items and collections, and the stored form of an item's data.

#include <gtest/gtest.h>

#include "skin/package/skin_store.h"

namespace {

std::string Data(const TSkinCollectionItem& item) {
  return std::string(item.Data().Bytes().begin(), item.Data().Bytes().end());
}

TEST(SkinStore, ItemsAreNamedAfterTheirIdAndNamesStayUnique) {
  TSkinStore store;
  TSkinCollection& items = store.Store();
  items.SetNextID(4);
  TSkinCollectionItem& first = items.Add();
  TSkinCollectionItem& second = items.Add();
  EXPECT_EQ(first.Name(), "SkinItem4");
  EXPECT_EQ(second.Name(), "SkinItem5");
  EXPECT_EQ(second.DisplayName(), "SkinItem5");
  EXPECT_EQ(second.SkinData(), "Load Skin");
  try {
    second.SetName("SkinItem4");
    FAIL() << "a duplicate name was taken";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "The name SkinItem4 is already used.");
  }
  EXPECT_EQ(second.Name(), "SkinItem5");
  second.SetName("skinitem4");  // names are compared with case
  EXPECT_EQ(second.Name(), "skinitem4");
  first.SetName("SkinItem4");  // its own name again
  items.Delete(0);
  EXPECT_EQ(items.Add().ID(), 6);
  EXPECT_THROW(items.Items(5), EListError);
}

TEST(SkinStore, AssigningCopiesNamesAndDataAndKeepsTheSourcePosition) {
  TSkinCollection source;
  TSkinCollectionItem& a = source.Add();
  a.SetName("Blue");
  a.Data().WriteBuffer("package", 7);
  a.Data().SetPosition(3);
  source.Add().SetName("Green");

  TSkinStore store;
  store.SetStore(source);
  ASSERT_EQ(store.Store().Count(), 2);
  EXPECT_EQ(store.Store().Items(0).Name(), "Blue");
  EXPECT_EQ(Data(store.Store().Items(0)), "package");
  EXPECT_EQ(store.Store().Items(0).DataSize(), 7);
  EXPECT_EQ(store.Store().Items(1).Name(), "Green");
  EXPECT_EQ(a.Data().Position(), 3);
}

TEST(SkinStore, TheStoredFormOfTheDataReadsBack) {
  TSkinCollection items;
  TSkinCollectionItem& item = items.Add();
  item.Data().WriteBuffer("bytes", 5);
  TMemoryStream stored;
  item.WriteDataStream(stored);
  EXPECT_EQ(stored.Size(), 5);

  TSkinCollectionItem& other = items.Add();
  other.Data().WriteBuffer("old contents", 12);
  stored.SetPosition(0);
  other.ReadDataStream(stored);
  EXPECT_EQ(Data(other), "bytes");
  // Nothing left to read gives empty data, not the whole stream again.
  other.ReadDataStream(stored);
  EXPECT_EQ(other.DataSize(), 0);
}

}  // namespace
