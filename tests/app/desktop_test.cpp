#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>

#include "app/routines.h"
#include "app_fixture.h"
#include "core/exceptions.h"

using testsupport::HaveTool;

using testsupport::SkipReason;

namespace {

std::string ReadText(const std::string& path) {
  auto bytes = testsupport::ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

void WriteText(const std::string& path, const std::string& text) {
  testsupport::WriteBytes(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

// Sets an environment variable for one scope.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~TScopedEnv() {
    if (had_) {
      ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::string old_;
  bool had_ = false;
};

}  // namespace

TEST_F(AppTest, ClipboardGetsTheFileInThreeForms) {
  const std::string file = "/tmp/a b/Ünï 100%#?.jpg";
  if (HaveTool("/usr/bin/python3")) {
    auto r = testsupport::Run({"/usr/bin/python3", "-c",
                  "import sys, pathlib; sys.stdout.write(pathlib.PurePosixPath(sys.argv[1]).as_uri())", file});
    ASSERT_EQ(r.ExitCode, 0) << r.Err;
    EXPECT_EQ(FileUrl(file), r.Out);
  }
  EXPECT_EQ(FileUrl("/x/y"), "file:///x/y");
  ASSERT_EQ(FileUrl("rel.png").rfind("file:///", 0), 0u);

  CopyFileToClipboard(file);
  ASSERT_EQ(handler_.Clipboard.size(), 3u);
  const std::string url = FileUrl(file);
  EXPECT_EQ(handler_.Clipboard[0].MimeType, "text/uri-list");
  EXPECT_EQ(handler_.Clipboard[0].Data, url + "\r\n");
  EXPECT_EQ(handler_.Clipboard[1].MimeType, "x-special/gnome-copied-files");
  EXPECT_EQ(handler_.Clipboard[1].Data, "copy\n" + url);
  EXPECT_EQ(handler_.Clipboard[2].MimeType, "text/plain");
  EXPECT_EQ(handler_.Clipboard[2].Data, file);

  handler_.ClipboardWorks = false;
  try {
    CopyFileToClipboard(file);
    ADD_FAILURE() << "a refused clipboard must raise";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Could not allocate memory.");
  }
  SetGuiHandler(nullptr);
  EXPECT_THROW(CopyFileToClipboard(file), Exception);
}

TEST(ChineseFont, AppliesToSimplifiedChineseLocalesOnly) {
  for (const char* yes : {"zh_CN.UTF-8", "zh_CN", "zh_SG.GBK", "zh-Hans", "zh_Hans_HK", "ZH_cn.gb2312", "zh",
                          "zh_CN@stroke"}) {
    EXPECT_TRUE(IsChineseSimplifiedLocale(yes)) << yes;
  }
  for (const char* no : {"", "C", "POSIX", "en_US.UTF-8", "zh_TW.UTF-8", "zh_HK", "zh_Hant_CN", "ja_JP", "zhx_CN"}) {
    EXPECT_FALSE(IsChineseSimplifiedLocale(no)) << no;
  }
}

TEST_F(AppTest, ChineseFontFollowsTheSystemLocale) {
  int form = 0;
  {
    TScopedEnv all("LC_ALL", nullptr);
    TScopedEnv messages("LC_MESSAGES", "zh_CN.UTF-8");
    TScopedEnv lang("LANG", "en_US.UTF-8");
    EXPECT_EQ(SystemLocaleName(), "zh_CN.UTF-8");
    ApplyLanguageFont(&form);
    ASSERT_EQ(handler_.Fonts.size(), 1u);
    EXPECT_EQ(handler_.Fonts[0].first, &form);
    EXPECT_EQ(handler_.Fonts[0].second.Families.at(0), "宋体");
    EXPECT_GT(handler_.Fonts[0].second.Families.size(), 2u);
    EXPECT_EQ(handler_.Fonts[0].second.PointSize, 9);
  }
  {
    TScopedEnv all("LC_ALL", "en_GB.UTF-8");
    TScopedEnv messages("LC_MESSAGES", "zh_CN.UTF-8");
    ApplyLanguageFont(&form);
    EXPECT_EQ(handler_.Fonts.size(), 1u);
  }
}

TEST_F(AppTest, FileManagerActionHandsTheSelectionOver) {
  testsupport::TempDir home;
  TScopedEnv homeEnv("HOME", home.Path().c_str());
  // A program folder whose name needs quoting everywhere.
  const std::string programDir = Dir() + "it's $HOME \"x\" 5%/";
  ASSERT_TRUE(ForceDirectories(programDir));
  SetProgramDir(programDir);
  const std::string marker = Dir() + "started";
  WriteText(programDir + ProgramName(), "#!/bin/sh\necho started > '" + marker + "'\n");
  ASSERT_EQ(::chmod((programDir + ProgramName()).c_str(), 0755), 0);

  char before[4096];
  ASSERT_NE(::getcwd(before, sizeof before), nullptr);
  ASSERT_TRUE(RegisterShellnook());
  char after[4096];
  ASSERT_NE(::getcwd(after, sizeof after), nullptr);
  EXPECT_STREQ(before, after);

  const std::string script = ShellnookScriptFile();
  const std::string menu = ShellnookServiceMenuFile();
  EXPECT_EQ(script, home.Path() + ".local/share/nautilus/scripts/Stampwise");
  EXPECT_EQ(menu, home.Path() + ".local/share/kio/servicemenus/stampwise-shellnook.desktop");
  for (const std::string& file : {script, menu}) {
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0) << file;
    EXPECT_EQ(st.st_mode & 0777, 0755u) << file;
  }

  // Files given as the file managers give them: absolute, or relative to
  // the folder the script runs in.
  const std::string folder = Dir() + "pics";
  ASSERT_TRUE(ForceDirectories(folder));
  auto r = testsupport::Run({"/bin/sh", "-c", "cd \"$1\" && exec \"$2\" \"$3\" \"$4\"", "sh", folder, script,
                "/abs/one two.jpg", "rel $x.png"});
  EXPECT_EQ(r.ExitCode, 0) << r.Err;
  EXPECT_EQ(ReadText(programDir + "~righ.dat"), "/abs/one two.jpg\n" + folder + "/rel $x.png\n");
  EXPECT_EQ(ReadText(marker), "started\n");

  // The service menu starts the same script with the selected files.
  const std::string entry = ReadText(menu);
  EXPECT_NE(entry.find("[Desktop Entry]\nType=Service\n"), std::string::npos);
  EXPECT_NE(entry.find("MimeType=all/all;\n"), std::string::npos);
  const std::size_t exec = entry.find("\nExec=");
  ASSERT_NE(exec, std::string::npos);
  std::string value = entry.substr(exec + 6, entry.find('\n', exec + 1) - exec - 6);
  if (HaveTool("/usr/bin/python3")) {
    // Undo the string escapes of the entry, then split as its Exec rules
    // (a subset of the shell's) do.
    auto p = testsupport::Run({"/usr/bin/python3", "-c",
                  "import sys, shlex\n"
                  "v = sys.argv[1].replace('\\\\\\\\', '\\x00').replace('%%', '\\x01')\n"
                  "v = v.replace('\\x00', '\\\\').replace('\\x01', '%')\n"
                  "sys.stdout.write('\\n'.join(shlex.split(v)))",
                  value});
    ASSERT_EQ(p.ExitCode, 0) << p.Err;
    EXPECT_EQ(p.Out, script + "\n%F");
  }

  EXPECT_TRUE(UnregisterShellnook());
  EXPECT_FALSE(FileExists(script));
  EXPECT_FALSE(FileExists(menu));
  EXPECT_TRUE(UnregisterShellnook());
}

TEST_F(AppTest, FileManagerActionNeedsAHome) {
  TScopedEnv homeEnv("HOME", nullptr);
  EXPECT_FALSE(RegisterShellnook());
  EXPECT_FALSE(UnregisterShellnook());
}

// The help pages of the source tree, and the copy a build puts beside its
// programs: the pages the program opens are there, and every link between
// them leads to a page (and a place in it) that exists.
TEST_F(AppTest, TheHelpPagesAreBesideTheProgramAndTheirLinksLead) {
  namespace fs = std::filesystem;
  const std::string source = testsupport::SourceDir() + "/help/";
  const std::string built = fs::read_symlink("/proc/self/exe").parent_path().string() + "/help/";
  for (const std::string& folder : {source, built}) {
    SCOPED_TRACE(folder);
    for (const char* page : {HelpIndexPage, HelpMakingAMarkPage, HelpTutorialPage}) {
      ASSERT_TRUE(FileExists(folder + page)) << page;
    }
    const std::regex link("(?:href|src)=\"([^\"]*)\"");
    const std::regex anchor("id=\"([^\"]*)\"");
    int links = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() != ".html") continue;
      const std::string text = ReadText(entry.path().string());
      EXPECT_EQ(ReadText(source + entry.path().filename().string()), text) << "a stale copy";
      for (std::sregex_iterator it(text.begin(), text.end(), link), end; it != end; ++it) {
        const std::string target = (*it)[1];
        if (target.find("://") != std::string::npos) continue;
        ++links;
        const std::size_t hash = target.find('#');
        const std::string file = hash == 0 ? entry.path().filename().string() : target.substr(0, hash);
        ASSERT_TRUE(FileExists(folder + file)) << entry.path() << " links to " << target;
        if (hash == std::string::npos) continue;
        const std::string linked = ReadText(folder + file);
        std::set<std::string> ids;
        for (std::sregex_iterator a(linked.begin(), linked.end(), anchor), none; a != none; ++a) ids.insert((*a)[1]);
        EXPECT_TRUE(ids.count(target.substr(hash + 1)) > 0) << entry.path() << " links to " << target;
      }
    }
    EXPECT_GT(links, 10);
  }
}

TEST_F(AppTest, HelpFileOpensWithTheDesktopOrIsReportedMissing) {
  ForceDirectories(Dir() + "language");
  WriteText(Dir() + "language/english", "9101=No help file:\n9104=No browser:\n");
  CreateProgramInfo();
  EXPECT_TRUE(HtmlHelpLoaded());
  EXPECT_FALSE(HtmlHelp(HelpMakingAMarkPage));
  ASSERT_EQ(handler_.Boxes.size(), 1u);
  EXPECT_EQ(handler_.Boxes[0].Text, "No help file:\n" + Dir() + "help/making-a-mark.html");
  EXPECT_EQ(handler_.Boxes[0].Caption, "System message");
  EXPECT_TRUE(handler_.Opened.empty());

  ForceDirectories(Dir() + "help");
  for (const char* page : {HelpIndexPage, HelpTutorialPage}) WriteText(HelpFileName(page), "<html></html>");
  EXPECT_EQ(HelpFileName(), Dir() + "help/index.html");
  EXPECT_TRUE(HtmlHelp(HelpTutorialPage));
  EXPECT_TRUE(HtmlHelp(HelpIndexPage));
  EXPECT_EQ(handler_.Opened, (std::vector<std::string>{Dir() + "help/tutorial.html", Dir() + "help/index.html"}));
  // A page that is not there is still reported.
  EXPECT_FALSE(HtmlHelp(HelpMakingAMarkPage));
  EXPECT_EQ(handler_.Boxes.size(), 2u);
  // So is a desktop that cannot open it, with the page to open by hand.
  handler_.DesktopOpens = false;
  EXPECT_FALSE(HtmlHelp(HelpIndexPage));
  ASSERT_EQ(handler_.Boxes.size(), 3u);
  EXPECT_EQ(handler_.Boxes[2].Text, "No browser:\n" + Dir() + "help/index.html");
  SetGuiHandler(nullptr);
  EXPECT_FALSE(HtmlHelpLoaded());
  EXPECT_FALSE(HtmlHelp(HelpIndexPage));
}
