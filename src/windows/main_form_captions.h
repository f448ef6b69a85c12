#pragma once
// The main window's language table: the captions and hints of its menus,
// tool buttons and labels, by object name.

#include <span>

// The captions (C) and hints (H) of the window by message number; a
// suffix follows the text.
struct TLanguageTarget {
  int Number;
  const char* Name;
  char Kind;
  const char* Suffix;
};

std::span<const TLanguageTarget> MainFormCaptions();
