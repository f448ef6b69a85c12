#pragma once
// The settings object: every setting of "config.inf" as a typed field, the
// texts of the chosen language file, and the scratch bitmap lent to the
// resizing and rotating routines. One instance lives from start-up to the
// end of the program (CreateProgramInfo / FreeProgramInfo).
//
// "config.inf" beside the program holds lines "Key=Value", each scrambled
// with ScrambleLines (key "qzk") after its line breaks were escaped; lines
// the program does not know survive a save unchanged. Keys are compared
// without regard to ASCII case and the first line of a key counts.

#include <cstdint>
#include <string>
#include <vector>

#include "app/messages.h"
#include "app/text_routines.h"
#include "core/bitmap.h"
#include "core/strings.h"
#include "core/types.h"

class TProgramInfo {
 public:
  // Loads "config.inf", reads every setting and loads the language file.
  // A failure is shown in a message box and the program goes on with what
  // was read.
  TProgramInfo();
  ~TProgramInfo() = default;
  TProgramInfo(const TProgramInfo&) = delete;
  TProgramInfo& operator=(const TProgramInfo&) = delete;

  // The plain lines of "config.inf" ("Key=Value", unscrambled, unescaped).
  TStringList ConfigLines;

  // The settings of "config.inf" (LanguagePackNow below is one too). Their
  // defaults, ranges and the rules that read and write them are the rows
  // of the key table in settings.cpp; SetDefaults gives each its default.
  std::string CfgDefPath;
  bool CfgAutoResize{};
  std::uint8_t OutputFileType{};  // a TOutputType (routines.h): 0 source, 1 JPEG .. 6 Targa
  bool AutoLocateOldPath{};
  std::string ExportPath;
  std::string DefaultMarkPath;
  std::string DefaultPreviewPath;
  std::string DefaultSourceBackgroundPath;
  std::string DefaultSourceFramePath;
  std::string DefaultMaskPath;
  TStringList ImageFilter;  // patterns such as "*.png", one per entry
  std::string MarkMakeImageFile;
  bool ViewImageViewMain{};
  bool EnableShellnook{};
  std::uint8_t CfgSkin{};  // 0 none, 1..4 a stored skin
  bool KeepJpgCompress{};
  std::uint8_t JpgCompress{};
  bool GifEnablePalette{};
  std::uint8_t GifPalette{};
  bool GifEnableDither{};
  std::uint8_t GifDither{};
  std::uint8_t GifCompress{};
  bool GifMarkFirst{};
  bool GifDisableAnimate{};
  bool BmpKeepColor{};
  std::uint8_t BmpColorSetup{};
  bool ViewShrinkFit{};
  bool ViewZoomFit{};
  bool ViewAlwaysTop{};
  bool ViewImageFullScreen{};
  bool ViewHideMouse{};
  bool ViewEnableTiledImage{};
  TColor ViewSolidColor{};
  std::string ViewTiledImage;
  bool ViewShowToolbar{};
  bool ViewShowFullPath{};
  bool ZoomLock{};
  bool LocationLock{};
  std::uint8_t SlideSequence{};
  std::int32_t SlideDelay{};  // milliseconds, 0 and up
  TBitmap ScratchBitmap;      // 24 bits per pixel
  std::string LanguageDir;    // program folder + "language", no "/" at the end
  TStringList LanguageTexts;  // "number=text" lines of the language file
  std::string LanguagePackNow;

  // "Key=value" of every number in the file that could not be used
  // (not a whole number, or outside its field's range) at the last
  // ReadSettings; those keys kept their defaults.
  std::vector<std::string> UnreadableSettings;

  std::string GetProgramDir() const;     // with a trailing "/"
  std::string GetConfigFileName() const;  // program folder + "config.inf"
  std::string GetMarkDir() const;         // program folder + "spm/"

  // Replaces ConfigLines with the plain lines of "config.inf" when the file
  // exists. False (nothing shown) when it cannot be read.
  bool LoadConfig();
  // Set while "config.inf" exists but could not be read: saving would
  // replace the user's settings with defaults, so SaveConfig refuses.
  bool ConfigUnreadable = false;
  // Fills every field from ConfigLines; a key that is absent or unusable
  // keeps its default.
  void ReadSettings();
  // Puts every field into ConfigLines (an empty text removes its line).
  void WriteSettings();
  // WriteSettings, then writes "config.inf" (escaped and scrambled) through
  // a temporary file. On failure shows the error and returns false; the
  // old file and ConfigLines stay usable.
  bool SaveConfig();
  // Loads LanguageDir/LanguagePackNow when it exists; otherwise the texts
  // stay as they are, except that without any texts yet the "english"
  // file is loaded in its place (LanguagePackNow is not changed).
  void LoadLanguage();

  // The text of a message number in LanguageTexts ("" when missing).
  std::string MessageText(int number) const;

  // Sets every field to its default (the 40 image patterns, the program
  // folder paths, ...).
  void SetDefaults();
};

// The 40 default image patterns, ";"-separated.
extern const char* const DefaultImageFilter;

// The single settings object. ProgramInfo raises Exception when it has not
// been created.
void CreateProgramInfo();
void FreeProgramInfo();
bool ProgramInfoExists();
TProgramInfo& ProgramInfo();

// The text of a message number in the current language ("" when missing or
// when there is no settings object).
std::string GetMessageText(int number);
// The plain value of a key of "config.inf" ("" when absent).
std::string GetConfigValue(const std::string& key);
