#pragma once
// The recursive file search of the main window: walks a folder tree,
// reports every entry whose name matches, shows the folder being scanned
// in a label and keeps the window responsive while it runs.

#include <QObject>
#include <QPointer>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

class QLabel;

// Attribute bits of a found entry and of the search mask.
constexpr int faReadOnly = 0x01;
constexpr int faHidden = 0x02;  // names beginning with '.'
constexpr int faSysFile = 0x04;  // devices, pipes and sockets
constexpr int faVolumeID = 0x08;
constexpr int faDirectory = 0x10;
constexpr int faArchive = 0x20;  // ordinary files
constexpr int faAnyFile = 0x3F;

// One entry of a folder as the search reports it.
struct TSearchRec {
  std::string Name;      // the entry's name, no folder
  int Attr = 0;          // fa* bits
  std::int64_t Size = 0; // bytes (0 for folders)
  std::int64_t Time = 0; // last modification, seconds since 1970
};

class TFileFinder : public QObject {
  Q_OBJECT

 public:
  using TFileFoundEvent =
      std::function<void(TFileFinder& sender, const std::string& directory, const TSearchRec& rec, bool& stop)>;
  using TNotifyEvent = std::function<void(TFileFinder& sender)>;

  explicit TFileFinder(QObject* owner = nullptr);

  // Entries whose attributes include a hidden, system or folder bit that is
  // not in this mask are passed over; ordinary files always count.
  int FileAttr = faAnyFile;
  // The folder the search starts in; a missing final "/" is supplied.
  std::string Root = "/";
  bool SubFolders = true;
  // Handle pending window events after every entry, so that a Stop
  // command reaches the search while it runs.
  bool ProcessMessages = true;
  // The name or mask looked for; empty finds nothing.
  std::string Filename;
  bool FuzzySearch = false;
  bool IgnoreCase = true;
  // Shows the folder being scanned. Not owned; a label that goes away is
  // simply no longer updated.
  QPointer<QLabel> StatusLabel;
  // Fired for every matching entry, folders included; setting stop ends
  // the search after this entry.
  TFileFoundEvent OnFileFound;
  // Fired once when the search of Root returns, also after a stop.
  TNotifyEvent OnStop;

  // Set by Stop or by OnFileFound's stop; cleared by Execute.
  bool Stopped() const { return stopped_; }
  bool Searching() const { return depth_ > 0; }

  // Clears the stop and searches from Root.
  void Execute();
  // Ends the search at the next entry. A stop stays in force until the
  // next Execute.
  void Stop() { stopped_ = true; }
  // Searches one folder (ending in "/") and, with SubFolders, the folders
  // below it. Entries come in name order. Folders whose names begin with
  // '.' are never entered, and a folder reached a second time (through a
  // link) is not searched again, so link loops end.
  void SearchFolder(const std::string& dir);

 private:
  std::string RootDir() const;
  bool Matches(const std::string& name) const;

  bool stopped_ = false;
  int depth_ = 0;
  // Folders searched since the outermost SearchFolder began (device, inode).
  std::set<std::pair<std::uint64_t, std::uint64_t>> visited_;
};
