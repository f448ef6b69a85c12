#include "skin/package/skin_store.h"

TSkinCollectionItem::TSkinCollectionItem(TSkinCollection& collection, int id)
    : collection_(collection), id_(id), name_("SkinItem" + std::to_string(id)) {}

void TSkinCollectionItem::SetName(const std::string& name) {
  if (name == name_) return;
  for (int i = 0; i < collection_.Count(); ++i) {
    const TSkinCollectionItem& other = collection_.Items(i);
    if (&other != this && other.Name() == name) throw Exception("The name " + name + " is already used.");
  }
  name_ = name;
}

void TSkinCollectionItem::Assign(const TSkinCollectionItem& source) {
  SetName(source.Name());
  data_.Clear();
  data_.WriteBuffer(source.data_.Bytes());
  data_.SetPosition(0);
}

void TSkinCollectionItem::WriteDataStream(TStream& out) {
  data_.SetPosition(0);
  out.WriteBuffer(data_.Bytes());
}

void TSkinCollectionItem::ReadDataStream(TStream& in) {
  data_.Clear();
  // CopyFrom takes a count of 0 as "all of the source from its start".
  if (const std::int64_t left = in.Remaining(); left > 0) data_.CopyFrom(in, left);
  data_.SetPosition(0);
}

// ---------------------------------------------------------------------------

void TSkinCollection::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

TSkinCollectionItem& TSkinCollection::Items(int index) {
  CheckIndex(index);
  return *items_[static_cast<std::size_t>(index)];
}

const TSkinCollectionItem& TSkinCollection::Items(int index) const {
  CheckIndex(index);
  return *items_[static_cast<std::size_t>(index)];
}

TSkinCollectionItem& TSkinCollection::Add() {
  items_.push_back(std::make_unique<TSkinCollectionItem>(*this, nextId_++));
  return *items_.back();
}

void TSkinCollection::Delete(int index) {
  CheckIndex(index);
  items_.erase(items_.begin() + index);
}

void TSkinCollection::Clear() { items_.clear(); }

void TSkinCollection::Assign(const TSkinCollection& source) {
  if (&source == this) return;
  Clear();
  for (const auto& item : source.items_) Add().Assign(*item);
}
