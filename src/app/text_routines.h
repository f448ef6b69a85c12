#pragma once
// The small text routines the settings file is built on: number test,
// splitting and joining, the line scrambler of "config.inf" and its
// line-break escapes.

#include <string>
#include <string_view>

#include "core/strings.h"

// True when Text, trimmed, is not empty and every character of Text itself
// is a digit, "." (at most once) or "-" (anywhere, any number of times).
// So " 5" and "+5" are not numeric, while "-", "1-2" and "1.5" are.
bool IsNumeric(std::string_view text);

std::string IfThenStr(bool condition, std::string_view whenTrue, std::string_view whenFalse);

// Appends the pieces of text between delimiters to list (it is not
// cleared); the remainder after the last delimiter is appended even when
// empty. Returns the number of entries appended (at least 1).
int SplitString(std::string_view text, TStringList& list, char delimiter);

// The entries joined with the delimiter between them.
std::string JoinStrings(const TStringList& list, char delimiter);

// The key every "config.inf" is scrambled with.
inline constexpr std::string_view ConfigScrambleKey = "qzk";

// Scrambles (encode) or unscrambles one text byte by byte. Bytes below 33
// never change, and every other byte stays inside its own range, so line
// breaks survive and the length never changes.
std::string ScrambleText(std::string_view text, std::string_view key, bool encode);
// ScrambleText on every line of the list, in place.
void ScrambleLines(TStringList& lines, std::string_view key, bool encode);

// Encoding writes CR as "[#13]" and LF as "[#10]"; decoding turns them
// back. Case-sensitive, every occurrence.
std::string EscapeLineBreaks(std::string_view text, bool encode);
