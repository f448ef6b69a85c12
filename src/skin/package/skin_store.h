#pragma once
// A store of skin packages kept inside the program: a collection of
// named items, each holding one packed package exactly as stored.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/streams.h"

class TSkinCollection;
class TSkinStore;

class TSkinCollectionItem {
 public:
  // Made by TSkinCollection::Add, which gives it the collection's next ID
  // and the name "SkinItem" followed by that ID.
  TSkinCollectionItem(TSkinCollection& collection, int id);

  int ID() const { return id_; }
  const std::string& Name() const { return name_; }
  // Another item of the collection with the same name (compared with
  // case) raises Exception "The name <name> is already used." and the old
  // name stays.
  void SetName(const std::string& name);
  std::string DisplayName() const { return name_; }

  // The packed stream as stored; DataSize is its length in bytes.
  TMemoryStream& Data() { return data_; }
  const TMemoryStream& Data() const { return data_; }
  std::int64_t DataSize() const { return static_cast<std::int64_t>(data_.Bytes().size()); }

  // A pseudo-property for editing: reads "Load Skin"; writing does
  // nothing. It is never stored.
  std::string SkinData() const { return "Load Skin"; }
  void SetSkinData(const std::string&) {}

  // Copies the name and the data; the source's data position is kept.
  void Assign(const TSkinCollectionItem& source);

  // The stored form of the data: writing copies all of it from its start;
  // reading replaces it with the rest of the stream.
  void WriteDataStream(TStream& out);
  void ReadDataStream(TStream& in);

 private:
  TSkinCollection& collection_;
  int id_;
  std::string name_;
  TMemoryStream data_;
};

class TSkinCollection {
 public:
  explicit TSkinCollection(TSkinStore* owner = nullptr) : owner_(owner) {}
  TSkinCollection(const TSkinCollection&) = delete;
  TSkinCollection& operator=(const TSkinCollection&) = delete;

  TSkinStore* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError outside 0..Count-1.
  TSkinCollectionItem& Items(int index);
  const TSkinCollectionItem& Items(int index) const;

  TSkinCollectionItem& Add();
  void Delete(int index);
  void Clear();
  // Item by item: the items are replaced by copies of the source's.
  void Assign(const TSkinCollection& source);

  // IDs count up from 0 as items are added and are never reused.
  int NextID() const { return nextId_; }
  void SetNextID(int id) { nextId_ = id; }

 private:
  void CheckIndex(int index) const;
  TSkinStore* owner_;
  std::vector<std::unique_ptr<TSkinCollectionItem>> items_;
  int nextId_ = 0;
};

class TSkinStore {
 public:
  TSkinStore() : store_(this) {}
  TSkinCollection& Store() { return store_; }
  const TSkinCollection& Store() const { return store_; }
  void SetStore(const TSkinCollection& collection) { store_.Assign(collection); }

 private:
  TSkinCollection store_;
};
