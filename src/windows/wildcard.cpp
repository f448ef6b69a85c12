#include "windows/wildcard.h"

#include <QChar>

#include <cstddef>
#include <vector>

namespace {

// Decodes UTF-8 into code points. A byte that does not start a valid
// sequence stands for itself (as U+DC80 + byte), so every name compares
// and nothing is lost.
std::u32string DecodeUtf8(std::string_view text, bool upper) {
  std::u32string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    char32_t cp = 0;
    std::size_t len = 0;
    if (lead < 0x80) {
      cp = lead;
      len = 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      cp = lead & 0x1F;
      len = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      cp = lead & 0x0F;
      len = 3;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      cp = lead & 0x07;
      len = 4;
    }
    bool valid = len > 0 && i + len <= text.size();
    for (std::size_t k = 1; valid && k < len; ++k) {
      const auto c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) {
        valid = false;
      } else {
        cp = (cp << 6) | (c & 0x3F);
      }
    }
    // Overlong forms, surrogates and values past U+10FFFF are not characters.
    if (valid && ((len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                  (cp >= 0xD800 && cp <= 0xDFFF))) {
      valid = false;
    }
    if (!valid) {
      out.push_back(0xDC80 + lead);
      ++i;
      continue;
    }
    out.push_back(upper ? QChar::toUpper(cp) : cp);
    i += len;
  }
  return out;
}

// Does seg match text at pos, character by character ('?' matches any)?
bool SegmentAt(const std::u32string& text, std::size_t pos, const std::u32string& seg) {
  if (pos + seg.size() > text.size()) return false;
  for (std::size_t k = 0; k < seg.size(); ++k) {
    if (seg[k] != U'?' && seg[k] != text[pos + k]) return false;
  }
  return true;
}

}  // namespace

bool MatchesWildcard(std::string_view name, std::string_view mask, bool ignoreCase) {
  const std::u32string n = DecodeUtf8(name, ignoreCase);
  const std::u32string m = DecodeUtf8(mask, ignoreCase);

  // The mask as its segments between '*'s; runs of '*' count as one.
  std::vector<std::u32string> segments(1);
  for (char32_t c : m) {
    if (c == U'*') {
      segments.emplace_back();
    } else {
      segments.back().push_back(c);
    }
  }
  if (segments.size() == 1) return n.size() == m.size() && SegmentAt(n, 0, m);

  // The first segment is anchored at the start and the last at the end;
  // both must fit without overlapping.
  const std::u32string& head = segments.front();
  const std::u32string& tail = segments.back();
  if (head.size() + tail.size() > n.size()) return false;
  if (!SegmentAt(n, 0, head)) return false;
  const std::size_t tailPos = n.size() - tail.size();
  if (!SegmentAt(n, tailPos, tail)) return false;

  // Each middle segment is searched leftmost in what the earlier ones left,
  // never reaching into the tail.
  std::size_t pos = head.size();
  for (std::size_t s = 1; s + 1 < segments.size(); ++s) {
    const std::u32string& seg = segments[s];
    if (seg.empty()) continue;
    bool found = false;
    while (pos + seg.size() <= tailPos) {
      if (SegmentAt(n, pos, seg)) {
        found = true;
        break;
      }
      ++pos;
    }
    if (!found) return false;
    pos += seg.size();
  }
  return true;
}
