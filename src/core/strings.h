#pragma once
// Text lists and small text helpers. Texts are UTF-8; case-insensitive
// comparisons fold ASCII letters only.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// ASCII case folding.
std::string LowerCase(std::string_view s);
std::string UpperCase(std::string_view s);
bool SameText(std::string_view a, std::string_view b);
int CompareText(std::string_view a, std::string_view b);
// Removes spaces and control characters (bytes <= 32) from both ends.
std::string Trim(std::string_view s);

// The longest prefix of s of at most maxBytes bytes that does not cut a
// UTF-8 character in two.
std::string Utf8Prefix(std::string_view s, std::size_t maxBytes);

// A list of text lines with "name=value" access.
// - A line's name is the text before its first "="; a line without "="
//   has no name.
// - Name lookups ignore ASCII case; the first match wins.
// - Setting a value to "" deletes the line; setting a new name appends.
// - Text splits on CR LF, CR or LF; it is produced with CR LF after every
//   line.
class TStringList {
 public:
  TStringList() = default;

  int Count() const { return static_cast<int>(lines_.size()); }
  bool Empty() const { return lines_.empty(); }
  // Raises EListError ("List index out of bounds (i)") outside 0..Count-1.
  const std::string& operator[](int index) const;
  std::string& operator[](int index);
  const std::vector<std::string>& Lines() const { return lines_; }

  int Add(std::string line);
  void Insert(int index, std::string line);
  void Delete(int index);
  void Clear() { lines_.clear(); }
  void Move(int from, int to);
  void Exchange(int a, int b);

  // The first line equal to s, ignoring ASCII case; -1 when none.
  int IndexOf(std::string_view s) const;
  // The first line whose name equals name, ignoring ASCII case; -1 when none.
  int IndexOfName(std::string_view name) const;
  // The name part of line index ("" when it has no "=").
  std::string Names(int index) const;
  // The text after the first "=" of line index ("" when it has no "=").
  std::string ValueFromIndex(int index) const;
  std::string Values(std::string_view name) const;
  void SetValue(std::string_view name, std::string_view value);

  std::string Text() const;
  void SetText(std::string_view text);

  // Reads a text file (raises EFOpenError); a UTF-8 byte-order mark is
  // dropped.
  void LoadFromFile(const std::string& fileName);
  // Writes Text through a temporary file and a rename.
  void SaveToFile(const std::string& fileName) const;

  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }

 private:
  void CheckIndex(int index) const;
  std::vector<std::string> lines_;
};

// The lines of each name in a list, for many lookups in one list (names
// ignore ASCII case, as in TStringList). It holds line numbers, so it
// answers for the list as it was when made: replacing a line by one of
// the same name keeps it right; adding, deleting or renaming lines does
// not.
class TNameIndex {
 public:
  explicit TNameIndex(const TStringList& list);
  // The first line named name; -1 when none (as TStringList::IndexOfName).
  int IndexOfName(std::string_view name) const;
  // The next line after index with the same name; -1 when none.
  int NextOfName(int index) const;

 private:
  struct FoldHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const;
  };
  struct FoldEqual {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const { return SameText(a, b); }
  };
  struct Lines {
    int First;
    int Last;
  };
  std::unordered_map<std::string, Lines, FoldHash, FoldEqual> names_;
  std::vector<int> next_;
};

// Splits text into lines on CR LF, CR or LF (a final line break gives no
// empty last line).
std::vector<std::string> SplitLines(std::string_view text);
