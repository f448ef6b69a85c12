#include "formats/tiff/tiff_test_util.h"

#include <algorithm>

namespace tifftest {

namespace {

int TypeSize(std::uint16_t type) {
  switch (type) {
    case 3:
    case 8: return 2;
    case 4:
    case 9:
    case 11:
    case 13: return 4;
    case 5:
    case 10:
    case 12: return 8;
    default: return 1;
  }
}

class TWriter {
 public:
  explicit TWriter(bool bigEndian) : big_(bigEndian) {}
  std::vector<std::uint8_t> Bytes;
  void Put(std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) {
      const int shift = 8 * (big_ ? size - 1 - i : i);
      Bytes.push_back(static_cast<std::uint8_t>(v >> shift));
    }
  }
  void PutAt(std::size_t at, std::uint64_t v, int size) {
    for (int i = 0; i < size; ++i) {
      const int shift = 8 * (big_ ? size - 1 - i : i);
      Bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> shift);
    }
  }

 private:
  bool big_;
};

}  // namespace

std::vector<std::uint8_t> MakeTiff(bool bigEndian, std::vector<TTag> tags,
                                   const std::vector<std::vector<std::uint8_t>>& strips) {
  if (!strips.empty()) {
    std::vector<std::uint32_t> counts;
    for (const auto& s : strips) counts.push_back(static_cast<std::uint32_t>(s.size()));
    tags.push_back({273, 4, std::vector<std::uint32_t>(strips.size(), 0)});
    tags.push_back({279, 4, counts});
  }
  std::stable_sort(tags.begin(), tags.end(), [](const TTag& a, const TTag& b) { return a.Tag < b.Tag; });
  TWriter w(bigEndian);
  w.Bytes = {static_cast<std::uint8_t>(bigEndian ? 'M' : 'I'), static_cast<std::uint8_t>(bigEndian ? 'M' : 'I')};
  w.Put(42, 2);
  w.Put(8, 4);
  w.Put(tags.size(), 2);
  std::vector<std::size_t> valueFields;
  for (const TTag& t : tags) {
    w.Put(t.Tag, 2);
    w.Put(t.Type, 2);
    const bool pairs = t.Type == 5 || t.Type == 10 || t.Type == 12;  // given as 32-bit halves
    const std::size_t count = pairs ? t.Values.size() / 2 : t.Values.size();
    w.Put(count, 4);
    valueFields.push_back(w.Bytes.size());
    w.Put(0, 4);
  }
  w.Put(0, 4);  // no next directory
  std::size_t offsetsField = 0;
  for (std::size_t i = 0; i < tags.size(); ++i) {
    const TTag& t = tags[i];
    const int size = (t.Type == 5 || t.Type == 10 || t.Type == 12) ? 4 : TypeSize(t.Type);
    const std::size_t bytes = t.Values.size() * static_cast<std::size_t>(size);
    std::size_t at = valueFields[i];
    if (bytes > 4) {
      w.PutAt(at, w.Bytes.size(), 4);
      at = w.Bytes.size();
      w.Bytes.resize(w.Bytes.size() + bytes);
    }
    if (t.Tag == 273) offsetsField = at;
    for (std::size_t k = 0; k < t.Values.size(); ++k) w.PutAt(at + k * static_cast<std::size_t>(size), t.Values[k], size);
  }
  for (std::size_t s = 0; s < strips.size(); ++s) {
    w.PutAt(offsetsField + 4 * s, w.Bytes.size(), 4);
    w.Bytes.insert(w.Bytes.end(), strips[s].begin(), strips[s].end());
  }
  return w.Bytes;
}

std::string Tiffcp(const std::vector<std::string>& options, const std::string& in, const std::string& out) {
  std::vector<std::string> argv{kTiffcp};
  argv.insert(argv.end(), options.begin(), options.end());
  argv.push_back(in);
  argv.push_back(out);
  const testsupport::CommandResult r = testsupport::Run(argv);
  return r.ExitCode == 0 ? "" : "tiffcp failed: " + r.Err;
}

}  // namespace tifftest
