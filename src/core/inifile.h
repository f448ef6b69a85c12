#pragma once
// INI files of our own: "[Section]" lines and "Key=Value" lines. Sections
// and keys are matched ignoring ASCII case, their order is kept, and the
// file is written with CR LF through a temporary name and a rename.

#include <string>
#include <string_view>
#include <vector>

class TIniFile {
 public:
  // Reads the file when it exists; a missing file is an empty INI (a file
  // that exists but cannot be read raises EFOpenError). Lines before the
  // first section and lines without "=" are ignored; of duplicate keys
  // the first counts; duplicate sections merge.
  explicit TIniFile(std::string fileName);

  // An INI read from text in memory (a UTF-8 byte-order mark is
  // dropped). It has no file: its FileName is empty and UpdateFile raises
  // EFCreateError.
  static TIniFile FromText(std::string_view text);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The value as a decimal 32-bit integer, or "0x"/"$" hexadecimal of up
  // to 32 bits read as two's complement ("$FFFFFFFF" is -1), with an
  // optional sign before either; defaultValue when missing, out of range
  // or not a number (blanks or other characters among the digits).
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
  // Line breaks in the section, key or value become spaces and blanks at
  // either end are dropped, so that what is written reads back the same.
  // Nothing reaches the disk before UpdateFile.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int value);
  void WriteBool(const std::string& section, const std::string& key, bool value);

  bool SectionExists(const std::string& section) const;
  bool ValueExists(const std::string& section, const std::string& key) const;
  std::vector<std::string> ReadSections() const;
  std::vector<std::string> ReadSection(const std::string& section) const;
  void EraseSection(const std::string& section);
  void DeleteKey(const std::string& section, const std::string& key);

  // Writes the file when something changed (raises on failure).
  void UpdateFile();
  std::string Text() const;

 private:
  struct Entry {
    std::string Key;
    std::string Value;
  };
  struct Section {
    std::string Name;
    std::vector<Entry> Entries;
  };
  void Parse(const std::vector<std::string>& lines);
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;

  std::string fileName_;
  std::vector<Section> sections_;
  bool dirty_ = false;
};
