#include "formats/registry.h"

#include <mutex>

#include "core/graphic.h"

void RegisterImageFormats() {
  static std::once_flag once;
  std::call_once(once, [] {
    RegisterCoreGraphics();
  });
}
