#pragma once
// Reading a skin description: the INI entry of a skin package and the
// pictures it names, into the elements of TSkinDescription.

#include <QColor>
#include <QImage>
#include <string>
#include <string_view>

#include "core/inifile.h"
#include "skin/package/skin_reader.h"
#include "skin/skin_elements.h"

// A colour written as text: runs of decimal digits give red, green and
// blue in turn; one run of other characters, however long, separates two
// numbers, and what comes before the first number or after the third is
// left out. Missing numbers are 0, and each is held to 0..255. An empty
// text (or one of blanks) gives defaultColour.
QColor ParseSkinColour(std::string_view text, const QColor& defaultColour);

// The picture an image value names: its file-name part (after any folder,
// by "\" or "/") must not be empty and must end in ".bmp" exactly (lower
// case); the entry of that name is looked up in the package ignoring case
// and decoded. A value that fails these tests, a missing entry and one
// that is no BMP give a null image.
QImage LoadSkinImage(const TSkinReader& reader, const std::string& value);

// Reads every part of a description into skin, which should be fresh:
// what the description leaves out keeps skin's defaults.
void ReadSkinIni(const TIniFile& ini, const TSkinReader& reader, TSkinDescription& skin);

// Reads the package's description (its first entry whose name contains
// ".ini"), parsed in memory. False when the package has none.
bool ReadSkinDescription(const TSkinReader& reader, TSkinDescription& skin);
