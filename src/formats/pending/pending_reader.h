#pragma once
// The stand-in for a reader that is not part of the program yet: it has
// the reader's class name and registrations, and loading raises "Cannot
// load image. Reading <format> files is not available yet.".

#include <memory>

#include "core/graphic.h"
#include "formats/common/reader_graphic.h"

class TPendingReader : public TReaderGraphic {
 public:
  TPendingReader(const TGraphicClass& graphicClass, const char* formatName)
      : class_(&graphicClass), formatName_(formatName) {}
  const TGraphicClass& ClassType() const override { return *class_; }
  void LoadFromStream(TStream& stream) override;

 private:
  const TGraphicClass* class_;
  const char* formatName_;
};

// Defines the accessor of a pending reader class: its own TGraphicClass
// named className, whose instances are TPendingReader for formatName.
#define SW_PENDING_READER(Accessor, className, formatName)                                                     \
  const TGraphicClass& Accessor() {                                                                            \
    static const TGraphicClass graphicClass{className, []() -> std::unique_ptr<TGraphic> {                     \
                                              return std::make_unique<TPendingReader>(Accessor(), formatName); \
                                            }};                                                                \
    return graphicClass;                                                                                       \
  }
