// Feeds arbitrary bytes to the skin package reader as a packed stream:
// the LZH decoder, then the container. Whatever it takes, every name it
// lists must extract within bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "skin/package/skin_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  TMemoryStream packed(std::vector<std::uint8_t>(data, data + size));
  TSkinReader reader;
  reader.OnMessage = [](const std::string&) {};
  if (!reader.LoadFromStream(packed)) return 0;
  TMemoryStream entry;
  for (int i = 0; i < reader.Count(); ++i) {
    reader.ExtractByName(reader.Names()[i], entry);
    if (entry.Size() != reader.EntrySize(i) && reader.Names().IndexOf(reader.Names()[i]) == i) __builtin_trap();
  }
  return 0;
}
