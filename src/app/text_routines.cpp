#include "app/text_routines.h"

#include <array>
#include <cstdint>

bool IsNumeric(std::string_view text) {
  if (Trim(text).empty()) return false;
  bool seenDot = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') continue;
    if (c == '-') continue;
    if (c == '.') {
      if (seenDot) return false;
      seenDot = true;
      continue;
    }
    return false;
  }
  return true;
}

std::string IfThenStr(bool condition, std::string_view whenTrue, std::string_view whenFalse) {
  return std::string(condition ? whenTrue : whenFalse);
}

int SplitString(std::string_view text, TStringList& list, char delimiter) {
  int added = 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = text.find(delimiter, start);
    if (pos == std::string_view::npos) {
      list.Add(std::string(text.substr(start)));
      return added + 1;
    }
    list.Add(std::string(text.substr(start, pos - start)));
    ++added;
    start = pos + 1;
  }
}

std::string JoinStrings(const TStringList& list, char delimiter) {
  std::string out;
  for (int i = 0; i < list.Count(); ++i) {
    if (i > 0) out += delimiter;
    out += list[i];
  }
  return out;
}

namespace {

struct TByteRange {
  int Lo;
  int Hi;
};

// The stored files depend on these exact ranges; never change them.
constexpr std::array<TByteRange, 20> kScrambleRanges = {{
    {33, 51},    {52, 62},    {63, 80},    {81, 89},    {90, 108},
    {109, 124},  {125, 138},  {139, 144},  {145, 151},  {152, 167},
    {168, 180},  {181, 185},  {186, 191},  {192, 208},  {209, 216},
    {217, 227},  {228, 245},  {246, 248},  {249, 252},  {253, 255},
}};

}  // namespace

std::string ScrambleText(std::string_view text, std::string_view key, bool encode) {
  int keySum = 0;
  for (char k : key) keySum += static_cast<unsigned char>(k);

  std::string out(text);
  for (char& ch : out) {
    int c = static_cast<unsigned char>(ch);
    for (const TByteRange& r : kScrambleRanges) {
      if (c < r.Lo || c > r.Hi) continue;
      int len = r.Hi - r.Lo + 1;
      int s = keySum % len;
      if (encode) {
        c = (c + s <= r.Hi) ? c + s : c + s - len;
      } else {
        c = (c - s >= r.Lo) ? c - s : c - s + len;
      }
      ch = static_cast<char>(static_cast<std::uint8_t>(c));
      break;
    }
  }
  return out;
}

void ScrambleLines(TStringList& lines, std::string_view key, bool encode) {
  for (int i = 0; i < lines.Count(); ++i) lines[i] = ScrambleText(lines[i], key, encode);
}

namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string out;
  out.reserve(text.size());
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = text.find(from, start);
    if (pos == std::string_view::npos) break;
    out.append(text.substr(start, pos - start));
    out.append(to);
    start = pos + from.size();
  }
  out.append(text.substr(start));
  return out;
}

}  // namespace

std::string EscapeLineBreaks(std::string_view text, bool encode) {
  if (encode) return ReplaceAll(ReplaceAll(text, "\r", "[#13]"), "\n", "[#10]");
  return ReplaceAll(ReplaceAll(text, "[#13]", "\r"), "[#10]", "\n");
}
