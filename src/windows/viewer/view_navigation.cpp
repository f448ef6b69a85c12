#include "windows/viewer/view_navigation.h"

#include <algorithm>

#include "app/routines.h"

int NavigateIndex(TNavigateKey key, int current, int count, int sequence, const TRandomIndex& random) {
  if (count <= 0) return -1;
  const int last = count - 1;
  const int at = current < 0 || current > last ? 0 : current;
  switch (key) {
    case TNavigateKey::Space:
      if (sequence == ssBackward) return at == 0 ? last : at - 1;
      if (sequence == ssRandom) return random ? std::clamp(random(count), 0, last) : at;
      return at == last ? 0 : at + 1;
    case TNavigateKey::PageUp: return std::max(at - 1, 0);
    case TNavigateKey::PageDown: return std::min(at + 1, last);
    case TNavigateKey::Home: return 0;
    case TNavigateKey::End: return last;
  }
  return at;
}

int PrefetchIndex(TNavigateKey key, int index, int count, int sequence) {
  if (count <= 1 || index < 0 || index >= count) return -1;
  int target = -1;
  switch (key) {
    case TNavigateKey::PageDown:
    case TNavigateKey::Home: target = index + 1; break;
    case TNavigateKey::PageUp:
    case TNavigateKey::End: target = index - 1; break;
    case TNavigateKey::Space:
      if (sequence == ssBackward) target = index == 0 ? count - 1 : index - 1;
      if (sequence == ssForward) target = index == count - 1 ? 0 : index + 1;
      break;
  }
  return target >= 0 && target < count && target != index ? target : -1;
}

int SlideInterval(int delay) { return std::max(delay, MinSlideInterval); }

bool CanSaveInPlace(int mode, const std::string& fileName) {
  if (mode == vmBitmap || fileName.empty()) return false;
  return GetImageType(fileName) != itOther;
}

std::string SaveDefaultExt(int filterIndex) {
  switch (filterIndex) {
    case 1: return "jpg";
    case 2: return "jpeg";
    case 3: return "gif";
    case 4: return "bmp";
    case 5: return "png";
    default: return "bmp";
  }
}

std::string SaveAsTarget(const std::string& chosen, int filterIndex) {
  if (GetImageType(chosen) != itOther) return chosen;
  return chosen + "." + SaveDefaultExt(filterIndex);
}

std::string SaveDialogName(int mode, const std::string& fileName) {
  if (mode == vmBitmap || fileName.empty()) return "newfile1";
  return ExtractFileName(fileName);
}
