#include "formats/common/file_format_list.h"

#include <algorithm>

#include "core/strings.h"
#include "formats/common/reader_graphic.h"
#include "formats/common/reader_texts.h"

TFileFormatList::~TFileFormatList() { Clear(); }

int TFileFormatList::FindExtensionLocked(const std::string& extension) const {
  if (extension.empty()) return -1;
  for (std::size_t i = 0; i < extensions_.size(); ++i) {
    if (SameText(extensions_[i].Extension, extension)) return static_cast<int>(i);
  }
  return -1;
}

int TFileFormatList::FindClassLocked(const TGraphicClass& graphicClass) const {
  for (std::size_t i = 0; i < classes_.size(); ++i) {
    if (classes_[i]->GraphicClass == &graphicClass) return static_cast<int>(i);
  }
  return -1;
}

int TFileFormatList::FindExtension(const std::string& extension) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindExtensionLocked(extension);
}

int TFileFormatList::FindGraphicClass(const TGraphicClass& graphicClass) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return FindClassLocked(graphicClass);
}

void TFileFormatList::RemoveClassLocked(ClassEntry* entry) {
  std::erase_if(classes_, [entry](const std::unique_ptr<ClassEntry>& c) { return c.get() == entry; });
}

void TFileFormatList::RegisterFileFormat(const std::string& extension, const std::string& common,
                                         const std::string& individual, bool replace,
                                         const TGraphicClass& graphicClass) {
  if (extension.empty()) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const int e = FindExtensionLocked(extension);
  const int c = FindClassLocked(graphicClass);
  if (e >= 0 && !replace) RaiseInvalidGraphicFmt(readertext::RegisterTwice, {extension});
  ExtensionEntry* listed = e >= 0 ? &extensions_[static_cast<std::size_t>(e)] : nullptr;
  const bool sameClass = listed && listed->Class->GraphicClass == &graphicClass;

  // Everything that can fail comes first (the new entries, the mirror into
  // the picture registry); the lists change only after it, without
  // anything that can fail, so a failed registration leaves both as they
  // were.
  std::unique_ptr<ClassEntry> created;
  ClassEntry* target = c >= 0 ? classes_[static_cast<std::size_t>(c)].get() : nullptr;
  if (!sameClass && !target) {
    created = std::make_unique<ClassEntry>(ClassEntry{&graphicClass, std::string(), 0});
    target = created.get();
  }
  std::string classDescription;
  std::string description;
  if (sameClass) {
    description = listed->Description.empty() ? listed->Class->Description : listed->Description;
  } else {
    classDescription = common.empty() ? target->Description : common;
    const std::string& own = listed ? listed->Description : individual;
    description = own.empty() ? classDescription : own;
  }
  ExtensionEntry added{listed ? std::string() : extension, listed ? std::string() : individual, nullptr};
  if (created) classes_.reserve(classes_.size() + 1);
  if (!listed) extensions_.reserve(extensions_.size() + 1);
  TPicture::RegisterFileFormat(extension, description, graphicClass);
  if (sameClass) return;

  if (created) classes_.push_back(std::move(created));
  target->Description.swap(classDescription);
  ++target->Count;
  if (listed) {
    ClassEntry* old = listed->Class;
    listed->Class = target;
    if (--old->Count == 0) RemoveClassLocked(old);
  } else {
    added.Class = target;
    extensions_.push_back(std::move(added));
  }
}

void TFileFormatList::UnregisterFileFormat(const std::string& extension, const TGraphicClass& graphicClass) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!extension.empty()) {
    const int e = FindExtensionLocked(extension);
    if (e < 0) return;
    ClassEntry* entry = extensions_[static_cast<std::size_t>(e)].Class;
    if (--entry->Count == 0) {
      TPicture::UnregisterGraphicClass(*entry->GraphicClass);
      RemoveClassLocked(entry);
    }
    extensions_.erase(extensions_.begin() + e);
    return;
  }
  const int c = FindClassLocked(graphicClass);
  if (c < 0) return;
  ClassEntry* entry = classes_[static_cast<std::size_t>(c)].get();
  for (std::size_t i = extensions_.size(); i-- > 0 && entry->Count > 0;) {
    if (extensions_[i].Class == entry) {
      --entry->Count;
      extensions_.erase(extensions_.begin() + static_cast<std::ptrdiff_t>(i));
    }
  }
  TPicture::UnregisterGraphicClass(graphicClass);
  RemoveClassLocked(entry);
}

void TFileFormatList::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const auto& entry : classes_) TPicture::UnregisterGraphicClass(*entry->GraphicClass);
  classes_.clear();
  extensions_.clear();
}

std::vector<TFileFormatList::TExtension> TFileFormatList::Extensions() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TExtension> result;
  result.reserve(extensions_.size());
  for (const auto& e : extensions_) result.push_back({e.Extension, e.Description, e.Class->GraphicClass});
  return result;
}

std::vector<TFileFormatList::TClass> TFileFormatList::Classes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<TClass> result;
  result.reserve(classes_.size());
  for (const auto& c : classes_) result.push_back({c->GraphicClass, c->Description, c->Count});
  return result;
}
