#include "core/files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <mutex>

namespace {

std::mutex g_dirMutex;
std::string g_dirOverride;

std::string ExecutablePath() {
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  if (n <= 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(n));
}

}  // namespace

std::string ProgramDir() {
  {
    std::lock_guard<std::mutex> lock(g_dirMutex);
    if (!g_dirOverride.empty()) return g_dirOverride;
  }
  std::string exe = ExecutablePath();
  std::string::size_type slash = exe.rfind('/');
  if (slash == std::string::npos) return "./";
  return exe.substr(0, slash + 1);
}

std::string ProgramName() {
  std::string exe = ExecutablePath();
  std::string::size_type slash = exe.rfind('/');
  return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

void SetProgramDir(const std::string& dir) {
  std::lock_guard<std::mutex> lock(g_dirMutex);
  g_dirOverride = dir;
  if (!g_dirOverride.empty() && g_dirOverride.back() != '/') g_dirOverride += '/';
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool NameTaken(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::lstat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int64_t FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return st.st_size;
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) return false;
  if (DirectoryExists(path)) return true;
  std::string current;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t slash = path.find('/', i);
    if (slash == std::string::npos) slash = path.size();
    current = path.substr(0, slash);
    if (!current.empty() && !DirectoryExists(current)) {
      if (::mkdir(current.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    i = slash + 1;
  }
  return DirectoryExists(path);
}
