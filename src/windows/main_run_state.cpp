#include "windows/main_run_state.h"

bool TMainRunState::StartBatch() {
  if (batch_ || search_) return false;
  batch_ = true;
  stopRequested_ = false;
  return true;
}

void TMainRunState::RequestStop() {
  if (batch_) stopRequested_ = true;
}

void TMainRunState::EndBatch() {
  batch_ = false;
  stopRequested_ = false;
}

bool TMainRunState::StartSearch() {
  if (batch_ || search_) return false;
  search_ = true;
  return true;
}

void TMainRunState::EndSearch() { search_ = false; }

bool TMainRunState::RequestClose() {
  if (!batch_ && !search_) return true;
  closePending_ = true;
  return false;
}

bool TMainRunState::TakePendingClose() {
  if (!closePending_ || batch_ || search_) return false;
  closePending_ = false;
  return true;
}
