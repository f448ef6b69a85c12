#include "app/routines.h"

#include <time.h>

#include <cstdio>
#include <random>

#include "app/settings.h"
#include "core/files.h"
#include "core/numbers.h"

int ShowMsg(const std::string& text, int kind, const std::string& caption) {
  const TMsgStyle style = MsgStyleOfKind(kind);
  if (TGuiHandler* handler = GuiHandler()) {
    try {
      return handler->ShowMsg(text, kind, caption);
    } catch (...) {
      // A box that cannot be shown answers as if it had been closed.
      return style.DefaultAnswer;
    }
  }
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  return style.DefaultAnswer;
}

void ProcessMessages() {
  if (TGuiHandler* handler = GuiHandler()) handler->ProcessMessages();
}

// ---------------------------------------------------------------------------

std::string GetMyComputerName() { return "Computer"; }

std::int64_t GetFileSizeByName(const std::string& fileName) {
  std::int64_t size = FileSize(fileName);
  return size < 0 ? 0 : size;
}

std::string ExtractFileName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
  std::size_t slash = path.rfind('/');
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  return path.substr(dot);
}

std::string ExtractFileNameNoExt(const std::string& name) {
  // A dot in a folder name is no extension.
  std::size_t slash = name.rfind('/');
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return name;
  return name.substr(0, dot);
}

std::string ExtractFilePathSlash(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "/";
  return path.substr(0, slash + 1);
}

std::string LeftStr(const std::string& text, int n) {
  if (n <= 0) return std::string();
  return Utf8Prefix(text, static_cast<std::size_t>(n));
}

std::string RightStr(const std::string& text, int n) {
  if (n <= 0) return std::string();
  if (static_cast<std::size_t>(n) >= text.size()) return text;
  std::size_t start = text.size() - static_cast<std::size_t>(n);
  while (start < text.size() && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) ++start;
  return text.substr(start);
}

int LastCharPos(char ch, const std::string& text, int fromEnd) {
  const std::int64_t length = static_cast<std::int64_t>(text.size());
  std::int64_t start = length - static_cast<std::int64_t>(fromEnd) + 1;
  if (start > length) start = length;
  for (std::int64_t i = start; i >= 1; --i) {
    if (text[static_cast<std::size_t>(i - 1)] == ch) return static_cast<int>(i);
  }
  return 0;
}

std::string GetField(const std::string& text, char delimiter, int n) {
  if (n < 1) return std::string();
  std::size_t start = 0;
  for (int field = 1;; ++field) {
    std::size_t end = text.find(delimiter, start);
    if (field == n) return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos) return std::string();
    start = end + 1;
  }
}

TDateTime Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  const long double seconds = static_cast<long double>(ts.tv_sec) + local.tm_gmtoff +
                              static_cast<long double>(ts.tv_nsec) / 1e9L;
  // 25569 days lie between 30 December 1899 and 1 January 1970.
  return static_cast<double>(seconds / 86400.0L + 25569.0L);
}

std::int64_t TimeToSeconds(TDateTime span) {
  // Rounding to whole milliseconds first, as decoding a time does, keeps
  // 10 s stored as 9.99999... s at 10, and a fraction that rounds up to a
  // full day carries into the days.
  const std::int64_t ms = Round(static_cast<long double>(span) * 86400000.0L);
  return ms / 1000;
}

std::string GetTempMarkFileName(const std::string& ext) {
  static std::mt19937 generator{std::random_device{}()};
  std::uniform_int_distribution<int> pick(0, 10100000 - 1);
  return ProgramDir() + "spm/~temp" + std::to_string(pick(generator)) + ext;
}

// ---------------------------------------------------------------------------

TImageType GetImageType(const std::string& fileName) {
  const std::string ext = LowerCase(ExtractFileExt(fileName));
  if (ext == ".jpeg" || ext == ".jpg") return itJpeg;
  if (ext == ".gif") return itGif;
  if (ext == ".bmp" || ext == ".dib") return itBmp;
  if (ext == ".png") return itPng;
  if (ext == ".pcx") return itPcx;
  if (ext == ".tga") return itTarga;
  return itOther;
}

std::string MakeOutputFileName(const std::string& name) {
  return MakeOutputFileName(name, ProgramInfo().OutputFileType);
}

std::string MakeOutputFileName(const std::string& name, int outputType) {
  static const char* const kExtensions[] = {"", "jpeg", "gif", "bmp", "png", "pcx", "tga"};
  const std::string folder = ExtractFilePathSlash(name);
  const std::string file = ExtractFileName(name);
  if (outputType >= otJpeg && outputType <= otTarga) {
    return folder + ExtractFileNameNoExt(file) + "." + kExtensions[outputType];
  }
  // A source the program cannot write is written as BMP data; its name
  // must say so, or no reader chosen by extension could open it.
  if (GetImageType(file) == itOther) return folder + ExtractFileNameNoExt(file) + ".bmp";
  return folder + file;
}

bool IsImageFile(const std::string& fileName) { return IsImageFile(fileName, ProgramInfo().ImageFilter); }

bool IsImageFile(const std::string& fileName, const TStringList& patterns) {
  const std::string name = LowerCase(fileName);
  for (const std::string& entry : patterns) {
    std::string pattern = LowerCase(entry);
    if (!pattern.empty() && pattern[0] == '*') pattern.erase(0, 1);
    if (pattern.empty()) continue;
    if (pattern.size() <= name.size() && name.compare(name.size() - pattern.size(), pattern.size(), pattern) == 0) {
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------

bool MoveListItem(TListItems& items, int item, int delta) {
  if (delta == 0) return false;
  const std::int64_t count = items.Count();
  if (item < 0 || item >= count) return false;
  const std::int64_t target = static_cast<std::int64_t>(item) + delta;
  if (target < 0 || target >= count) return false;
  const std::string caption = items.Caption(item);
  const std::vector<std::string> subItems = items.SubItems(item);
  items.Delete(item);
  items.Insert(static_cast<int>(target), caption, subItems);
  items.Select(static_cast<int>(target));
  return true;
}
