#pragma once
// The viewer's background loader: TLoadImage decodes one file on a thread
// of its own into a picture it owns and hands it back through a future.
// The thread touches nothing shared: no settings, no scratch bitmaps, no
// window; it only reads its file. The viewer takes the picture, or cancels
// the load and waits for the thread, before it goes on and before it
// closes, so no picture is ever written by two threads.
//
// Written without Qt so that the ThreadSanitizer build runs it without the
// windows.

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/bitmap.h"

// Loads a file into a picture, in the memory the picture has when the new
// one fits there; the loader thread runs it. The default is
// LoadSourcePicture, the batch's and the preview's own routine.
using TPictureLoader = std::function<void(const std::string& fileName, TBitmap& into)>;

// What one load gave.
struct TLoadedPicture {
  std::string FileName;
  bool Ok = false;
  TBitmap Picture;    // empty when the load failed
  std::string Error;  // what the reader raised
};

class TLoadImage {
 public:
  // Starts the thread at once. recycle is a picture the caller is done
  // with: the file is read into its memory when it fits there (memory
  // written again costs no page faults), and the thread frees it
  // otherwise, so that a large picture's memory costs the GUI thread
  // nothing either way.
  TLoadImage(std::string fileName, TPictureLoader loader, TBitmap recycle = TBitmap());
  // Cancels and waits for the thread.
  ~TLoadImage();
  TLoadImage(const TLoadImage&) = delete;
  TLoadImage& operator=(const TLoadImage&) = delete;

  const std::string& FileName() const { return fileName_; }
  // True once the picture is there (without waiting).
  bool Ready() const;
  // Waits for the load and takes its result (once).
  TLoadedPicture Take();
  // A load that has not started decoding yet does not start; one that
  // has runs to its end (a reader cannot be stopped half-way) and its
  // result is dropped.
  void Cancel();
  // Waits for the thread to end.
  void Wait();

 private:
  std::string fileName_;
  std::atomic<bool> cancelled_{false};
  std::future<TLoadedPicture> result_;
  std::thread thread_;
};

// The one picture loaded ahead of the viewer, matched by its file's path
// (never by a list position, which changes when the list does).
//
// A load that is no longer wanted is cancelled and set aside: the GUI
// thread does not wait for a reader it cannot stop, unless more than
// MaxRetired such loads are still running (each may hold a picture, and
// the viewer holds at most four). Wait (and the destructor) waits for
// every thread.
class TPrefetcher {
 public:
  static constexpr std::size_t MaxRetired = 1;

  explicit TPrefetcher(TPictureLoader loader);
  ~TPrefetcher();
  TPrefetcher(const TPrefetcher&) = delete;
  TPrefetcher& operator=(const TPrefetcher&) = delete;

  // Starts loading fileName unless it is already on its way; a load of
  // another file is cancelled first. The file is read into recycle's
  // memory (see TLoadImage).
  void Start(const std::string& fileName, TBitmap recycle = TBitmap());
  // The picture of fileName when it was loaded ahead (waiting for the
  // load to end); nothing when another file or none was, or its load
  // failed. Whatever was loaded ahead is used up either way.
  std::optional<TBitmap> Take(const std::string& fileName);
  // Drops what is loaded ahead without waiting for it.
  void Discard();
  // The same, giving back the picture of a load that is done (whatever
  // file it read), so that its memory serves another; an empty picture
  // when none is done.
  TBitmap Drop();
  // Drops it and waits until no loader thread runs any more.
  void Wait();
  // The file loaded ahead, empty for none.
  std::string Pending() const;
  // True once the load ahead is done (without waiting).
  bool Ready() const { return load_ && load_->Ready(); }
  int Started() const { return started_; }
  // Cancelled loads whose threads may still run.
  std::size_t Retired() const { return retired_.size(); }

 private:
  void Retire();
  void Reap();

  TPictureLoader loader_;
  std::unique_ptr<TLoadImage> load_;
  std::vector<std::unique_ptr<TLoadImage>> retired_;
  int started_ = 0;
};

// LoadSourcePicture as a TPictureLoader.
TPictureLoader SourcePictureLoader();
