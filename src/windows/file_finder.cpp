#include "windows/file_finder.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QLabel>
#include <QString>

#include <algorithm>
#include <vector>

#include "app/routines.h"
#include "core/scope_exit.h"
#include "core/strings.h"
#include "windows/wildcard.h"

namespace {

int AttributesOf(const std::string& name, const struct stat& st) {
  int attr = 0;
  if (S_ISDIR(st.st_mode)) {
    attr |= faDirectory;
  } else if (S_ISREG(st.st_mode)) {
    attr |= faArchive;
  } else {
    attr |= faSysFile;
  }
  if (!name.empty() && name[0] == '.') attr |= faHidden;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attr |= faReadOnly;
  return attr;
}

// Name order: letters without regard to case first, then bytes, so that
// the order is stable whatever the file system returns.
bool NameLess(const TSearchRec& a, const TSearchRec& b) {
  const int c = CompareText(a.Name, b.Name);
  return c != 0 ? c < 0 : a.Name < b.Name;
}

// The entries of a folder, "." and ".." left out; an unreadable folder
// gives none.
std::vector<TSearchRec> ReadFolder(const std::string& dir) {
  std::vector<TSearchRec> entries;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return entries;
  while (const dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    // A link counts as what it points to; a dangling one as itself.
    if (::stat((dir + name).c_str(), &st) != 0 && ::lstat((dir + name).c_str(), &st) != 0) continue;
    TSearchRec rec;
    rec.Name = std::move(name);
    rec.Attr = AttributesOf(rec.Name, st);
    rec.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<std::int64_t>(st.st_size);
    rec.Time = static_cast<std::int64_t>(st.st_mtime);
    entries.push_back(std::move(rec));
  }
  ::closedir(d);
  std::sort(entries.begin(), entries.end(), NameLess);
  return entries;
}

}  // namespace

TFileFinder::TFileFinder(QObject* owner) : QObject(owner) {}

std::string TFileFinder::RootDir() const {
  if (Root.empty() || Root.back() != '/') return Root + "/";
  return Root;
}

bool TFileFinder::Matches(const std::string& name) const {
  if (Filename.empty()) return false;
  if (FuzzySearch) return MatchesWildcard(name, Filename, IgnoreCase);
  return IgnoreCase ? SameText(name, Filename) : name == Filename;
}

void TFileFinder::Execute() {
  stopped_ = false;
  SearchFolder(RootDir());
}

void TFileFinder::SearchFolder(const std::string& dir) {
  if (depth_ == 0) visited_.clear();
  ++depth_;
  const TScopeExit leave([this] { --depth_; });

  bool localStop = stopped_;
  std::vector<std::string> subFolders;

  struct stat self {};
  const bool firstVisit =
      ::stat(dir.c_str(), &self) == 0 &&
      visited_.insert({static_cast<std::uint64_t>(self.st_dev), static_cast<std::uint64_t>(self.st_ino)}).second;

  if (firstVisit) {
    const int excluded = (faHidden | faSysFile | faVolumeID | faDirectory) & ~FileAttr;
    for (const TSearchRec& rec : ReadFolder(dir)) {
      if (stopped_ || localStop) break;
      if (rec.Attr & excluded) continue;
      if ((rec.Attr & faDirectory) && rec.Name[0] != '.') subFolders.push_back(dir + rec.Name);
      if (Matches(rec.Name) && OnFileFound) OnFileFound(*this, dir, rec, localStop);
      // A stop from the event joins a Stop that came meanwhile; neither
      // undoes the other.
      if (localStop) stopped_ = true;
      if (StatusLabel) StatusLabel->setText(QString::fromStdString(dir));
      if (ProcessMessages) ::ProcessMessages();
    }
    if (SubFolders) {
      for (const std::string& folder : subFolders) {
        if (stopped_ || localStop) break;
        SearchFolder(folder + "/");
      }
    }
  }

  if (dir == RootDir() && OnStop) OnStop(*this);
}
