#pragma once
// The list a main window hands the viewer, over files of its own: for the
// viewer's tests and its benchmark.

#include <string>
#include <vector>

#include "windows/viewer/view_image.h"

namespace testsupport {

struct TFileViewList {
  std::vector<std::string> Files;
  int Index = 0;
  // The list as the viewer sees it; it walks this object, which must
  // outlive it.
  TViewList View() {
    TViewList l;
    l.Count = [this] { return static_cast<int>(Files.size()); };
    l.FileName = [this](int i) { return Files[static_cast<std::size_t>(i)]; };
    l.ItemIndex = [this] { return Index; };
    l.Select = [this](int i) { Index = i; };
    return l;
  }
};

}  // namespace testsupport
