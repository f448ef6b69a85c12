#include "windows/viewer/image_loader.h"

#include <exception>
#include <utility>

#include "imaging/source_picture.h"

TLoadImage::TLoadImage(std::string fileName, TPictureLoader loader, TBitmap recycle)
    : fileName_(std::move(fileName)) {
  std::promise<TLoadedPicture> promise;
  result_ = promise.get_future();
  // The thread gets its own copies of the name and the loader; the result
  // goes back through the promise alone.
  thread_ = std::thread([name = fileName_, load = std::move(loader), promise = std::move(promise),
                         cancelled = &cancelled_, recycle = std::move(recycle)]() mutable {
    TLoadedPicture result;
    result.FileName = name;
    result.Picture = std::move(recycle);
    if (!cancelled->load()) {
      try {
        load(name, result.Picture);
        result.Ok = true;
      } catch (const std::exception& e) {
        result.Picture = TBitmap();
        result.Error = e.what();
      } catch (...) {
        result.Picture = TBitmap();
        result.Error = "Unknown error";
      }
    } else {
      result.Picture = TBitmap();
      result.Error = "cancelled";
    }
    promise.set_value(std::move(result));
  });
}

TLoadImage::~TLoadImage() {
  Cancel();
  Wait();
}

bool TLoadImage::Ready() const {
  return result_.valid() && result_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
}

TLoadedPicture TLoadImage::Take() {
  if (!result_.valid()) {
    TLoadedPicture none;
    none.FileName = fileName_;
    none.Error = "taken";
    return none;
  }
  TLoadedPicture result = result_.get();
  Wait();
  return result;
}

void TLoadImage::Cancel() { cancelled_.store(true); }

void TLoadImage::Wait() {
  if (thread_.joinable()) thread_.join();
}

// ---------------------------------------------------------------------------

TPrefetcher::TPrefetcher(TPictureLoader loader) : loader_(std::move(loader)) {}

TPrefetcher::~TPrefetcher() { Wait(); }

void TPrefetcher::Start(const std::string& fileName, TBitmap recycle) {
  if (load_ && load_->FileName() == fileName) return;
  Retire();
  load_ = std::make_unique<TLoadImage>(fileName, loader_, std::move(recycle));
  ++started_;
}

std::optional<TBitmap> TPrefetcher::Take(const std::string& fileName) {
  Reap();
  if (!load_) return std::nullopt;
  if (load_->FileName() != fileName) {
    Retire();
    return std::nullopt;
  }
  std::unique_ptr<TLoadImage> load = std::move(load_);
  TLoadedPicture result = load->Take();
  if (!result.Ok) return std::nullopt;
  return std::move(result.Picture);
}

void TPrefetcher::Discard() { Retire(); }

TBitmap TPrefetcher::Drop() {
  TBitmap memory;
  if (load_ && load_->Ready()) {
    memory = std::move(load_->Take().Picture);
    load_.reset();
  }
  Retire();
  return memory;
}

void TPrefetcher::Wait() {
  Retire();
  retired_.clear();  // each destructor waits for its thread
}

std::string TPrefetcher::Pending() const { return load_ ? load_->FileName() : std::string(); }

void TPrefetcher::Retire() {
  if (load_) {
    load_->Cancel();
    retired_.push_back(std::move(load_));
  }
  Reap();
  // Never more than a few readers behind the viewer: the oldest is waited
  // for.
  while (retired_.size() > MaxRetired) retired_.erase(retired_.begin());
}

void TPrefetcher::Reap() {
  std::erase_if(retired_, [](const std::unique_ptr<TLoadImage>& load) { return load->Ready(); });
}

TPictureLoader SourcePictureLoader() {
  return [](const std::string& fileName, TBitmap& into) { LoadSourcePicture(fileName, into); };
}
