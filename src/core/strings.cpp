#include "core/strings.h"

#include <algorithm>
#include <cstdint>

#include "core/exceptions.h"
#include "core/streams.h"

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = Upper(c);
  return out;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int CompareText(std::string_view a, std::string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto ca = static_cast<unsigned char>(Lower(a[i]));
    auto cb = static_cast<unsigned char>(Lower(b[i]));
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

std::string Utf8Prefix(std::string_view s, std::size_t maxBytes) {
  if (s.size() <= maxBytes) return std::string(s);
  std::size_t cut = maxBytes;
  // Step back over continuation bytes (10xxxxxx) to the start of the
  // character that would be split.
  while (cut > 0 && (static_cast<unsigned char>(s[cut]) & 0xC0) == 0x80) --cut;
  return std::string(s.substr(0, cut));
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.emplace_back(text.substr(start, i - start));
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      start = i;
    } else {
      ++i;
    }
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

// ---------------------------------------------------------------------------

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
}

const std::string& TStringList::operator[](int index) const {
  CheckIndex(index);
  return lines_[static_cast<std::size_t>(index)];
}

std::string& TStringList::operator[](int index) {
  CheckIndex(index);
  return lines_[static_cast<std::size_t>(index)];
}

int TStringList::Add(std::string line) {
  lines_.push_back(std::move(line));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string line) {
  if (index < 0 || index > Count()) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  }
  lines_.insert(lines_.begin() + index, std::move(line));
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  lines_.erase(lines_.begin() + index);
}

void TStringList::Move(int from, int to) {
  if (from == to) return;
  CheckIndex(from);
  CheckIndex(to);
  std::string line = std::move(lines_[static_cast<std::size_t>(from)]);
  lines_.erase(lines_.begin() + from);
  lines_.insert(lines_.begin() + to, std::move(line));
}

void TStringList::Exchange(int a, int b) {
  CheckIndex(a);
  CheckIndex(b);
  std::swap(lines_[static_cast<std::size_t>(a)], lines_[static_cast<std::size_t>(b)]);
}

int TStringList::IndexOf(std::string_view s) const {
  for (int i = 0; i < Count(); ++i) {
    if (SameText(lines_[static_cast<std::size_t>(i)], s)) return i;
  }
  return -1;
}

int TStringList::IndexOfName(std::string_view name) const {
  // A line's name ends at its first '=', so a name holding one matches no
  // line, and a line can only match if its '=' stands right after a
  // prefix as long as the name: that test alone rules out most lines.
  if (name.find('=') != std::string_view::npos) return -1;
  const std::size_t n = name.size();
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = lines_[static_cast<std::size_t>(i)];
    if (line.size() > n && line[n] == '=' && SameText(std::string_view(line).substr(0, n), name)) return i;
  }
  return -1;
}

std::string TStringList::Names(int index) const {
  const std::string& line = (*this)[index];
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(0, eq);
}

std::string TStringList::ValueFromIndex(int index) const {
  const std::string& line = (*this)[index];
  std::size_t eq = line.find('=');
  return eq == std::string::npos ? std::string() : line.substr(eq + 1);
}

std::string TStringList::Values(std::string_view name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStringList::SetValue(std::string_view name, std::string_view value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line;
  line.reserve(name.size() + 1 + value.size());
  line.append(name).append(1, '=').append(value);
  if (i < 0) {
    Add(std::move(line));
  } else {
    lines_[static_cast<std::size_t>(i)] = std::move(line);
  }
}

std::string TStringList::Text() const {
  std::size_t size = 0;
  for (const std::string& line : lines_) size += line.size() + 2;
  std::string out;
  out.reserve(size);
  for (const std::string& line : lines_) {
    out += line;
    out += "\r\n";
  }
  return out;
}

void TStringList::SetText(std::string_view text) { lines_ = SplitLines(text); }

void TStringList::LoadFromFile(const std::string& fileName) {
  std::vector<std::uint8_t> bytes = ReadFileBytes(fileName);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  SetText(text);
}

void TStringList::SaveToFile(const std::string& fileName) const { WriteFileAtomic(fileName, Text()); }

// ---------------------------------------------------------------------------

std::size_t TNameIndex::FoldHash::operator()(std::string_view s) const {
  // FNV-1a over the case-folded bytes.
  std::uint64_t h = 14695981039346656037ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(Lower(c));
    h *= 1099511628211ull;
  }
  return static_cast<std::size_t>(h);
}

TNameIndex::TNameIndex(const TStringList& list) : next_(static_cast<std::size_t>(list.Count()), -1) {
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& line = list.Lines()[static_cast<std::size_t>(i)];
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string_view name = std::string_view(line).substr(0, eq);
    auto found = names_.find(name);
    if (found == names_.end()) {
      names_.emplace(std::string(name), Lines{i, i});
    } else {
      next_[static_cast<std::size_t>(found->second.Last)] = i;
      found->second.Last = i;
    }
  }
}

int TNameIndex::IndexOfName(std::string_view name) const {
  auto found = names_.find(name);
  return found == names_.end() ? -1 : found->second.First;
}

int TNameIndex::NextOfName(int index) const {
  return index >= 0 && static_cast<std::size_t>(index) < next_.size() ? next_[static_cast<std::size_t>(index)] : -1;
}
