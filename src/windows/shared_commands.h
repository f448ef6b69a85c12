#pragma once
// Dialogs and commands that several windows share: choosing a picture to
// open, the save dialog of pictures with its file types, and starting the
// mask editor beside the program.

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "core/types.h"

// The separate mask-editor program in the program folder.
extern const char* const MaskEditorName;

// Starts a program in a folder without waiting for it.
using TStartProgram = std::function<bool(const std::string& program, const std::string& folder)>;
// Starts the mask editor of the program folder through start; when it is
// missing, not executable or does not start, message 9110 with its path
// is shown and the result is false.
bool StartMaskEditor(const TStartProgram& start);
// Starts a program detached from this one.
bool StartProgramDetached(const std::string& program, const std::string& folder);

// The open dialog for one picture, listing every registered picture type;
// the chosen file, or nothing when cancelled.
std::optional<std::string> ChoosePictureToOpen(QWidget* owner, const std::string& title, const std::string& folder);

// The save dialog of a picture ("spdSave"), starting with initialName and
// the file types JPEG, GIF, BMP and PNG; a name typed without the
// extension of a picture type gets the one of the chosen type
// (PictureSaveName). The overwrite question is left to the caller. The
// chosen file, or nothing when cancelled.
std::optional<std::string> ChoosePictureSaveName(QWidget* owner, const std::string& initialName);

// The colour dialog starting at initial: the chosen colour, or nothing
// when cancelled.
std::optional<TColor> ChooseColorDialog(QWidget* owner, TColor initial);
