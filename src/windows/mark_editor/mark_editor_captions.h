#pragma once
// The mark editor's language table: the captions and the hints of its
// controls, by object name.

#include <span>

#include "windows/control_captions.h"

std::span<const TControlCaption> MarkEditorCaptions();
std::span<const TControlCaption> MarkEditorHints();
