#pragma once
// The viewer's language table: the captions of its popup menu and the
// hints of its tool bar, by object name.

#include <span>

#include "windows/control_captions.h"

std::span<const TControlCaption> ViewerMenuCaptions();
std::span<const TControlCaption> ViewerToolHints();
