#pragma once
// The language tables of the windows: which control shows which numbered
// text. Plain data, so a table is checked without a window.

// A control, by its object name, and the number of its text.
struct TControlCaption {
  const char* Name;
  int Number;
};
