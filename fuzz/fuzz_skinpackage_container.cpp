// Feeds arbitrary bytes to the skin container parser (what a package
// unpacks to), then looks every entry up by name and by part of a name.
#include <cstddef>
#include <cstdint>
#include <string>

#include "skin/package/skin_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TSkinReader reader;
  reader.OnMessage = [](const std::string&) {};
  if (!reader.LoadFromContainer({data, size})) return 0;
  TMemoryStream entry;
  std::string name;
  reader.ExtractFirstContaining(".ini", entry, name);
  for (int i = 0; i < reader.Count(); ++i) {
    reader.ExtractByName(reader.Names()[i], entry);
    if (entry.Size() != reader.EntrySize(i) && reader.Names().IndexOf(reader.Names()[i]) == i) __builtin_trap();
  }
  return 0;
}
