#pragma once
// What runs in the main window (a batch, a folder search, or neither) and
// what follows from it for the commands and for closing. The batch and the
// search pump messages on the GUI thread, so the window's commands run
// while they are busy: these rules keep a second run from starting inside
// the first and let a close wait until the run has come back. The form
// asks them after every change and sets its commands from the answers.

class TMainRunState {
 public:
  // The conversion list holds files of some size: the convert commands
  // have something to do.
  void SetHasFiles(bool hasFiles) { hasFiles_ = hasFiles; }
  bool HasFiles() const { return hasFiles_; }

  // A batch starts when neither a batch nor a search runs; false refuses it.
  bool StartBatch();
  // Stop of the running batch: it ends at its next file. Without a batch
  // nothing happens.
  void RequestStop();
  void EndBatch();
  // A search starts when neither a batch nor a search runs.
  bool StartSearch();
  void EndSearch();

  bool BatchRunning() const { return batch_; }
  bool Searching() const { return search_; }
  bool StopRequested() const { return stopRequested_; }

  // A close of the window: true when it may close now. While a run is
  // busy the close is kept for later and false comes back; the caller
  // stops the runs.
  bool RequestClose();
  bool ClosePending() const { return closePending_; }
  // After a run came back: true, once, when a kept close may go ahead now.
  bool TakePendingClose();

  // ---- The commands ----
  // mnuCreate, mnuCreateToNewFolder and their tool buttons.
  bool ConvertEnabled() const { return hasFiles_ && !batch_ && !search_; }
  // mnuStopTran and its tool button: on while a batch runs that was not
  // asked to stop yet.
  bool StopBatchEnabled() const { return batch_ && !stopRequested_; }
  // tbAddFolder.
  bool AddFolderEnabled() const { return !batch_ && !search_; }
  // tbStop.
  bool StopSearchEnabled() const { return search_; }
  // mnuSetup and its tool button: the settings decide how the running
  // batch writes its files.
  bool SetupEnabled() const { return !batch_; }
  // The batch log is shown at the end of a run unless the window is
  // closing.
  bool ShowsLog() const { return !closePending_; }

 private:
  bool hasFiles_ = false;
  bool batch_ = false;
  bool search_ = false;
  bool stopRequested_ = false;
  bool closePending_ = false;
};
