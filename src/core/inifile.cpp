#include "core/inifile.h"

#include <climits>
#include <cstdint>
#include <cstdlib>

#include "core/exceptions.h"
#include "core/files.h"
#include "core/streams.h"
#include "core/strings.h"

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  if (!FileExists(fileName_)) return;
  TStringList lines;
  lines.LoadFromFile(fileName_);
  Parse(lines.Lines());
}

TIniFile TIniFile::FromText(std::string_view text) {
  TIniFile ini{std::string()};
  std::string_view body = text;
  if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  ini.Parse(SplitLines(body));
  return ini;
}

void TIniFile::Parse(const std::vector<std::string>& lines) {
  Section* current = nullptr;
  for (const std::string& raw : lines) {
    std::string line = Trim(raw);
    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      std::string name = Trim(line.substr(1, line.size() - 2));
      current = FindSection(name);
      if (!current) {
        sections_.push_back({name, {}});
        current = &sections_.back();
      }
      continue;
    }
    if (!current) continue;
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = Trim(line.substr(0, eq));
    std::string value = Trim(line.substr(eq + 1));
    bool found = false;
    for (const Entry& e : current->Entries) found = found || SameText(e.Key, key);
    if (!found) current->Entries.push_back({key, value});  // the first of duplicate keys counts
  }
}

TIniFile::Section* TIniFile::FindSection(const std::string& name) {
  for (Section& s : sections_) {
    if (SameText(s.Name, name)) return &s;
  }
  return nullptr;
}

const TIniFile::Section* TIniFile::FindSection(const std::string& name) const {
  for (const Section& s : sections_) {
    if (SameText(s.Name, name)) return &s;
  }
  return nullptr;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->Entries) {
      if (SameText(e.Key, key)) return e.Value;
    }
  }
  return defaultValue;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const {
  std::string text = ReadString(section, key, "");
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  int base = 10;
  if (text.compare(i, 2, "0x") == 0 || text.compare(i, 2, "0X") == 0) {
    base = 16;
    i += 2;
  } else if (text.compare(i, 1, "$") == 0) {
    base = 16;
    i += 1;
  }
  if (i >= text.size()) return defaultValue;
  // Digits only: no blanks, no second sign, no second prefix. Decimal
  // values must fit in 32 bits signed; hexadecimal ones in 32 bits, read
  // as two's complement ("$FFFFFFFF" is -1).
  std::uint64_t v = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return defaultValue;
    v = v * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (v > 0xFFFFFFFFull) return defaultValue;
  }
  std::int64_t value;
  if (base == 16) {
    value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
  } else {
    value = static_cast<std::int64_t>(v);
  }
  if (negative) value = -value;
  if (value < INT_MIN || value > INT_MAX) return defaultValue;
  return static_cast<int>(value);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

namespace {

// One line of the file holds one section name, key or value: line breaks
// inside them would start new lines (and smuggle in keys), so they become
// spaces. Blanks at either end would not survive reading back.
std::string OneLine(const std::string& text) {
  std::string out = text;
  for (char& c : out) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return Trim(out);
}

}  // namespace

void TIniFile::WriteString(const std::string& sectionName, const std::string& keyName, const std::string& valueText) {
  const std::string section = OneLine(sectionName);
  const std::string key = OneLine(keyName);
  const std::string value = OneLine(valueText);
  Section* s = FindSection(section);
  if (!s) {
    sections_.push_back({section, {}});
    s = &sections_.back();
  }
  for (Entry& e : s->Entries) {
    if (SameText(e.Key, key)) {
      if (e.Value != value) {
        e.Value = value;
        dirty_ = true;
      }
      return;
    }
  }
  s->Entries.push_back({key, value});
  dirty_ = true;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

bool TIniFile::SectionExists(const std::string& section) const { return FindSection(section) != nullptr; }

bool TIniFile::ValueExists(const std::string& section, const std::string& key) const {
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->Entries) {
      if (SameText(e.Key, key)) return true;
    }
  }
  return false;
}

std::vector<std::string> TIniFile::ReadSections() const {
  std::vector<std::string> names;
  for (const Section& s : sections_) names.push_back(s.Name);
  return names;
}

std::vector<std::string> TIniFile::ReadSection(const std::string& section) const {
  std::vector<std::string> keys;
  if (const Section* s = FindSection(section)) {
    for (const Entry& e : s->Entries) keys.push_back(e.Key);
  }
  return keys;
}

void TIniFile::EraseSection(const std::string& section) {
  for (auto it = sections_.begin(); it != sections_.end(); ++it) {
    if (SameText(it->Name, section)) {
      sections_.erase(it);
      dirty_ = true;
      return;
    }
  }
}

void TIniFile::DeleteKey(const std::string& section, const std::string& key) {
  if (Section* s = FindSection(section)) {
    for (auto it = s->Entries.begin(); it != s->Entries.end(); ++it) {
      if (SameText(it->Key, key)) {
        s->Entries.erase(it);
        dirty_ = true;
        return;
      }
    }
  }
}

std::string TIniFile::Text() const {
  std::string out;
  bool first = true;
  for (const Section& s : sections_) {
    if (!first) out += "\r\n";
    first = false;
    out += "[" + s.Name + "]\r\n";
    for (const Entry& e : s.Entries) out += e.Key + "=" + e.Value + "\r\n";
  }
  return out;
}

void TIniFile::UpdateFile() {
  if (fileName_.empty()) throw EFCreateError("Cannot create file: an INI read from memory has no file");
  if (!dirty_ && FileExists(fileName_)) return;
  WriteFileAtomic(fileName_, Text());
  dirty_ = false;
}
