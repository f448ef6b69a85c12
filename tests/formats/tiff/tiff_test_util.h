#pragma once
// Test files for the TIFF reader: a small TIFF writer made from the
// format's layout (one directory, strips after it, either byte order), and
// the runs of libtiff's tiffcp and Pillow that make and read real files.

#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace tifftest {

// A tag of the directory. Values are written by the type's size (3 short,
// 4 long, 1/7 bytes); rationals (5, 10) and doubles (12) are given as
// pairs of 32-bit words, in the order they are written; tags 273
// and 279 are added by MakeTiff when strips are given.
struct TTag {
  std::uint16_t Tag;
  std::uint16_t Type;
  std::vector<std::uint32_t> Values;
};

// A TIFF of one directory with the tags (sorted as given) and the strips
// after it. Values of more than 4 bytes go after the directory.
std::vector<std::uint8_t> MakeTiff(bool bigEndian, std::vector<TTag> tags,
                                   const std::vector<std::vector<std::uint8_t>>& strips);

// tiffcp's path; tests skip when it is missing.
inline const std::string kTiffcp = "/usr/bin/tiffcp";

// Runs tiffcp with the options on the file in and writes out; "" or the
// complaint.
std::string Tiffcp(const std::vector<std::string>& options, const std::string& in, const std::string& out);

}  // namespace tifftest
