#pragma once
// Turns a skin design into a skin: its pictures, its INI description and
// its package.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "skin/author/skin_design.h"
#include "skin/author/skin_packer.h"
#include "skin/author/skin_picture.h"

struct TSkinSource {
  // The description's entry name and text.
  std::string IniName;
  std::string Ini;
  // Pictures by entry name (lower case, ".bmp"), in package order.
  std::vector<std::pair<std::string, TSkinPicture>> Pictures;

  const TSkinPicture* Picture(const std::string& name) const;
};

TSkinSource BuildSkin(const TSkinDesign& design);
// The entries of the package: the description first, then the pictures
// as BMP files.
std::vector<TSkinEntry> SkinEntries(const TSkinSource& source);
// The packed package of a skin.
std::vector<std::uint8_t> SkinPackage(const TSkinSource& source);
