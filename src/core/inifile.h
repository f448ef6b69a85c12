#pragma once
// INI files of our own: "[Section]" lines and "Key=Value" lines. Sections
// and keys are matched ignoring ASCII case, their order is kept, and the
// file is written with CR LF through a temporary name and a rename.

#include <string>
#include <vector>

class TIniFile {
 public:
  // Reads the file when it exists; a missing file is an empty INI.
  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& defaultValue) const;
  // The value as a decimal (or "0x"/"$" hexadecimal) 32-bit integer;
  // defaultValue when missing or not a number.
  int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;
  bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
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
  Section* FindSection(const std::string& name);
  const Section* FindSection(const std::string& name) const;

  std::string fileName_;
  std::vector<Section> sections_;
  bool dirty_ = false;
};
