// The English texts must hold every number the program asks for.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "app/messages.h"
#include "core/strings.h"
#include "support/test_support.h"

namespace {

std::string ReadText(const std::string& path) {
  auto bytes = testsupport::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

bool ValidUtf8(const std::string& s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (n < 0 || static_cast<std::size_t>(n) >= s.size() - i) return false;
    for (int k = 1; k <= n; ++k) {
      if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0xC0) != 0x80) return false;
    }
    i += static_cast<std::size_t>(n) + 1;
  }
  return true;
}

std::map<int, std::string> EnglishTexts() {
  std::map<int, std::string> texts;
  const std::string text = ReadText(testsupport::SourceDir() + "/language/english");
  EXPECT_TRUE(ValidUtf8(text));
  static const std::regex entry(R"((\d+)=(.*))");
  for (const std::string& line : SplitLines(text)) {
    if (line.empty()) continue;
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, entry)) << "not a number=text line: " << line;
    if (m.empty()) continue;
    EXPECT_TRUE(texts.emplace(std::stoi(m[1]), m[2]).second) << "number twice: " << m[1];
  }
  return texts;
}

}  // namespace

TEST(EnglishTexts, HoldEveryNumberOfTheTable) {
  const auto texts = EnglishTexts();
  for (int number : msg::AllNumbers) {
    auto it = texts.find(number);
    ASSERT_NE(it, texts.end()) << "no English text for " << number;
    EXPECT_FALSE(Trim(it->second).empty()) << "empty English text for " << number;
  }
}

TEST(EnglishTexts, HoldEveryNumberTheSourcesAskFor) {
  const auto texts = EnglishTexts();
  // Numbers asked for directly (GetMessageText, or the windows' QString
  // form MessageText), and the windows' caption tables: rows of number,
  // control name and kind ({210, "mnuFile", 'C', ...}) or of control name
  // and number ({"btnOK", 101}).
  static const std::regex patterns[] = {
      std::regex(R"(\b(?:Get)?MessageText\s*\(\s*(\d+)\s*\))"),
      std::regex(R"(\{\s*(\d+)\s*,\s*"[A-Za-z]\w*"\s*,\s*'[A-Z]')"),
      std::regex(R"(\{\s*"[A-Za-z]\w*"\s*,\s*(\d+)\s*\})"),
  };
  std::set<int> asked;
  for (const auto& file : std::filesystem::recursive_directory_iterator(testsupport::SourceDir() + "/src")) {
    const std::string ext = file.path().extension().string();
    if (ext != ".cpp" && ext != ".h") continue;
    const std::string code = ReadText(file.path().string());
    for (const std::regex& pattern : patterns) {
      for (std::sregex_iterator it(code.begin(), code.end(), pattern), end; it != end; ++it) {
        asked.insert(std::stoi((*it)[1]));
      }
    }
  }
  // The windows ask for far more than the shared table names.
  EXPECT_GT(asked.size(), 100u);
  for (int number : asked) EXPECT_TRUE(texts.count(number)) << "no English text for " << number;
}
