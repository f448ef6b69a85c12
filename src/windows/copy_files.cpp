#include "windows/copy_files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <vector>

#include "app/messages.h"
#include "app/routines.h"
#include "app/settings.h"
#include "core/streams.h"
#include "windows/query_over.h"

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa {};
  struct stat sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool CopyFileOver(const std::string& source, const std::string& target) {
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  // Writing a file onto itself would empty it before it is read.
  if (IsSameFile(source, target)) return false;
  try {
    TFileStream in(source, TFileMode::fmOpenRead);
    TAtomicFileStream out(target);
    std::vector<char> buffer(1 << 20);
    for (;;) {
      const std::int64_t n = in.Read(buffer.data(), static_cast<std::int64_t>(buffer.size()));
      if (n <= 0) break;
      out.WriteBuffer(buffer.data(), n);
    }
    if (in.Position() != in.Size()) return false;  // a read failed on the way
    (void)::fchmod(out.Handle(), st.st_mode & 07777);
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    (void)::futimens(out.Handle(), times);
    out.Commit();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

void CopyFilesTo(const TStringList& files, const std::string& destFolder, const TOverwriteQuery& query) {
  std::string folder = destFolder;
  if (folder.empty() || folder.back() != '/') folder += '/';
  int answer = owNo;
  for (const std::string& file : files) {
    const std::string target = folder + ExtractFileName(file);
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && IsSameFile(file, target)) continue;
    if (answer == owAllYes || !exists) {
      CopyFileOver(file, target);
      continue;
    }
    if (answer == owAllNo) continue;
    answer = query ? query(target + GetMessageText(msg::OverwriteQuestion)) : owNo;
    if (answer == owYes || answer == owAllYes) CopyFileOver(file, target);
  }
}

void CopyFilesTo(const TStringList& files, const std::string& destFolder) {
  CopyFilesTo(files, destFolder, QueryOverwrite);
}
