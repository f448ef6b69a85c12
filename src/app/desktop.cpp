// Stand-ins for what the desktop provides: the clipboard file list, the
// window font of Chinese systems, the file manager's context action and
// the help file.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "app/routines.h"
#include "app/settings.h"
#include "core/exceptions.h"
#include "core/files.h"

namespace {

std::string AbsolutePath(const std::string& fileName) {
  if (!fileName.empty() && fileName[0] == '/') return fileName;
  std::string cwd;
  if (char* dir = ::getcwd(nullptr, 0)) {
    cwd = dir;
    std::free(dir);
  }
  if (cwd.empty() || cwd.back() != '/') cwd += '/';
  return cwd + fileName;
}

}  // namespace

// ---- Clipboard -------------------------------------------------------------

std::string FileUrl(const std::string& fileName) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : AbsolutePath(fileName)) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (keep) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 0x0F];
    }
  }
  return url;
}

std::vector<TClipboardFormat> FileClipboardFormats(const std::string& fileName) {
  const std::string url = FileUrl(fileName);
  return {
      {"text/uri-list", url + "\r\n"},
      {"x-special/gnome-copied-files", "copy\n" + url},
      {"text/plain", AbsolutePath(fileName)},
  };
}

void CopyFileToClipboard(const std::string& fileName) {
  TGuiHandler* handler = GuiHandler();
  if (!handler) throw Exception("The clipboard is not available.");
  if (!handler->SetClipboard(FileClipboardFormats(fileName))) throw Exception("Could not allocate memory.");
}

// ---- Chinese window font ---------------------------------------------------

std::string SystemLocaleName() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return std::string();
}

bool IsChineseSimplifiedLocale(std::string_view locale) {
  std::string name(locale.substr(0, locale.find_first_of(".@")));
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  name = LowerCase(name);
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = name.find('_', start);
    parts.push_back(name.substr(start, pos == std::string::npos ? std::string::npos : pos - start));
    if (pos == std::string::npos) break;
    start = pos + 1;
  }
  if (parts[0] != "zh") return false;
  // The script decides when it is named; otherwise the region does, and
  // plain Chinese is written in simplified characters.
  for (const std::string& part : parts) {
    if (part == "hans") return true;
    if (part == "hant") return false;
  }
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const std::string& region = parts[i];
    if (region == "cn" || region == "sg" || region == "my") return true;
    if (region == "tw" || region == "hk" || region == "mo") return false;
  }
  return true;
}

TFontChoice ChineseWindowFont() {
  return {{"宋体", "SimSun", "NSimSun", "Noto Serif CJK SC", "Noto Sans CJK SC", "Source Han Serif SC",
           "Source Han Sans SC", "AR PL UMing CN", "WenQuanYi Zen Hei", "WenQuanYi Micro Hei"},
          9};
}

void ApplyLanguageFont(void* form) {
  if (!IsChineseSimplifiedLocale(SystemLocaleName())) return;
  if (TGuiHandler* handler = GuiHandler()) handler->ApplyFont(form, ChineseWindowFont());
}

// ---- File-manager action ---------------------------------------------------

namespace {

std::string HomeDir() {
  const char* home = std::getenv("HOME");
  if (!home || home[0] != '/') return std::string();
  std::string dir = home;
  if (dir.back() != '/') dir += '/';
  return dir;
}

// A word for the POSIX shell: single quotes, a quote itself as '\''.
std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

// An argument of a desktop entry's Exec line: double-quoted with ", `, $
// and \ escaped, then % doubled and \ escaped again for the string value.
std::string ExecQuote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    quoted += c;
  }
  quoted += '"';
  std::string out;
  for (char c : quoted) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '%') {
      out += "%%";
    } else {
      out += c;
    }
  }
  return out;
}

bool HasLineBreak(const std::string& text) { return text.find_first_of("\r\n") != std::string::npos; }

void WriteExecutable(const std::string& fileName, const std::string& text) {
  std::string folder = fileName.substr(0, fileName.rfind('/'));
  if (!ForceDirectories(folder)) throw EFCreateError("Cannot create folder " + folder);
  TAtomicFileStream stream(fileName);
  stream.WriteBuffer(text.data(), static_cast<std::int64_t>(text.size()));
  if (::fchmod(stream.Handle(), 0755) != 0) throw EFCreateError("Cannot create file " + fileName);
  stream.Commit();
}

std::string ShellnookScript() {
  const std::string dir = ProgramDir();
  return "#!/bin/sh\n"
         "# Hands the selected files and folders over to Stampwise, one path\n"
         "# per line, and starts it. Written by Stampwise's settings.\n"
         "list=" + ShellQuote(dir + "~righ.dat") + "\n"
         "tmp=\"$list.$$\"\n"
         "for f in \"$@\"; do\n"
         "  case \"$f\" in\n"
         "    /*) printf '%s\\n' \"$f\" ;;\n"
         "    *) printf '%s\\n' \"$PWD/$f\" ;;\n"
         "  esac\n"
         "done > \"$tmp\" && mv -f \"$tmp\" \"$list\" || { rm -f \"$tmp\"; exit 1; }\n"
         "exec " + ShellQuote(dir + ProgramName()) + "\n";
}

std::string ShellnookServiceMenu(const std::string& script) {
  std::string name = GetMessageText(msg::ShellnookAction);
  if (Trim(name).empty()) name = "Stampwise";
  for (char& c : name) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return "[Desktop Entry]\n"
         "Type=Service\n"
         "ServiceTypes=KonqPopupMenu/Plugin\n"
         "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
         "MimeType=all/all;\n"
         "Actions=stampwise;\n"
         "\n"
         "[Desktop Action stampwise]\n"
         "Name=" + name + "\n"
         "Icon=image-x-generic\n"
         "Exec=" + ExecQuote(script) + " %F\n";
}

}  // namespace

std::string ShellnookServiceMenuFile() {
  const std::string home = HomeDir();
  return home.empty() ? std::string() : home + ".local/share/kio/servicemenus/stampwise-shellnook.desktop";
}

std::string ShellnookScriptFile() {
  const std::string home = HomeDir();
  return home.empty() ? std::string() : home + ".local/share/nautilus/scripts/Stampwise";
}

bool RegisterShellnook() {
  try {
    const std::string script = ShellnookScriptFile();
    const std::string menu = ShellnookServiceMenuFile();
    if (script.empty() || menu.empty()) return false;
    // A desktop entry cannot carry a line break in its Exec line.
    if (HasLineBreak(script) || HasLineBreak(ProgramDir()) || HasLineBreak(ProgramName())) return false;
    WriteExecutable(script, ShellnookScript());
    WriteExecutable(menu, ShellnookServiceMenu(script));
    return true;
  } catch (...) {
    return false;
  }
}

bool UnregisterShellnook() {
  const std::string script = ShellnookScriptFile();
  const std::string menu = ShellnookServiceMenuFile();
  if (script.empty() || menu.empty()) return false;
  for (const std::string& file : {script, menu}) {
    if (FileExists(file)) DeleteFile(file);
  }
  return !FileExists(script) && !FileExists(menu);
}

// ---- Help file -------------------------------------------------------------

const char* const HelpIndexPage = "index.html";
const char* const HelpMakingAMarkPage = "making-a-mark.html";
const char* const HelpTutorialPage = "tutorial.html";

std::string HelpFileName(const std::string& page) { return ProgramDir() + "help/" + page; }

bool HtmlHelpLoaded() { return GuiHandler() != nullptr; }

bool HtmlHelp(const std::string& page) {
  const std::string file = HelpFileName(page);
  if (!FileExists(file)) {
    ShowMsg(GetMessageText(msg::HelpFileMissing) + "\n" + file, mkInformation, SystemMessageCaption);
    return false;
  }
  TGuiHandler* handler = GuiHandler();
  if (handler == nullptr) return false;
  if (handler->OpenWithDesktop(file)) return true;
  // A desktop without a browser: say where the help is rather than
  // nothing at all.
  ShowMsg(GetMessageText(msg::HelpNotShown) + "\n" + file, mkInformation, SystemMessageCaption);
  return false;
}
