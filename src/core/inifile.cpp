#include "core/inifile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/files.h"
#include "core/streams.h"
#include "core/strings.h"

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {
  if (!FileExists(fileName_)) return;
  TStringList lines;
  lines.LoadFromFile(fileName_);
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
  if (text.empty()) return defaultValue;
  int base = 10;
  std::size_t start = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    start = 1;
  }
  if (text.compare(start, 2, "0x") == 0 || text.compare(start, 2, "0X") == 0) {
    base = 16;
    start += 2;
  } else if (text.compare(start, 1, "$") == 0) {
    base = 16;
    start += 1;
  }
  if (start >= text.size()) return defaultValue;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str() + start, &end, base);
  if (errno != 0 || *end != '\0' || text[start] == '-' || text[start] == '+' || text[start] == ' ') {
    return defaultValue;
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return defaultValue;
  return static_cast<int>(v);
}

bool TIniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
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
  if (!dirty_ && FileExists(fileName_)) return;
  WriteFileAtomic(fileName_, Text());
  dirty_ = false;
}
