#pragma once
// The reader family's own list of registrations: every extension with its
// description and class, and every class with its common description and
// the number of extensions that name it. Each registration is mirrored
// into the picture registry (TPicture), whose newest entry for an
// extension decides which class loads it.
//
// Invariants: an extension stands at most once (compared without regard
// to ASCII case); a class's count is the number of extensions naming it,
// and a class whose count drops to 0 leaves the list.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/graphic.h"

class TFileFormatList {
 public:
  struct TExtension {
    std::string Extension;    // as registered, without the dot
    std::string Description;  // the individual description
    const TGraphicClass* GraphicClass;
  };
  struct TClass {
    const TGraphicClass* GraphicClass;
    std::string Description;  // the common description
    int Count;                // extensions that name the class
  };

  TFileFormatList() = default;
  // Clear: the classes still listed leave the picture registry too.
  ~TFileFormatList();
  TFileFormatList(const TFileFormatList&) = delete;
  TFileFormatList& operator=(const TFileFormatList&) = delete;

  // Registers an extension for a class; an empty extension does nothing.
  // An extension listed already raises EInvalidGraphic "Attempt to
  // register <ext> twice." unless replace is set, which moves it to the
  // class (its individual description stays). A non-empty common
  // description replaces the class's. The picture registry gets the
  // extension with the individual description, or the class's common one
  // when that is empty. A failed registration changes neither list.
  void RegisterFileFormat(const std::string& extension, const std::string& common, const std::string& individual,
                          bool replace, const TGraphicClass& graphicClass);
  // A non-empty extension: removes that extension (unlisted: nothing
  // happens); when its class has no extension left, the class leaves the
  // list and the picture registry. An empty extension: removes the class
  // with all its extensions (an unlisted class: nothing happens).
  void UnregisterFileFormat(const std::string& extension, const TGraphicClass& graphicClass);

  // Index of the extension (any case), searched from the first; -1 for an
  // empty argument or none.
  int FindExtension(const std::string& extension) const;
  // Index of the class's entry; -1 if none.
  int FindGraphicClass(const TGraphicClass& graphicClass) const;

  // Unregisters every listed class from the picture registry, in list
  // order, and empties both lists.
  void Clear();

  std::vector<TExtension> Extensions() const;
  std::vector<TClass> Classes() const;

 private:
  struct ClassEntry {
    const TGraphicClass* GraphicClass;
    std::string Description;
    int Count = 0;
  };
  struct ExtensionEntry {
    std::string Extension;
    std::string Description;
    ClassEntry* Class;
  };

  int FindExtensionLocked(const std::string& extension) const;
  int FindClassLocked(const TGraphicClass& graphicClass) const;
  void RemoveClassLocked(ClassEntry* entry);

  mutable std::mutex mutex_;
  std::vector<std::unique_ptr<ClassEntry>> classes_;
  std::vector<ExtensionEntry> extensions_;
};
