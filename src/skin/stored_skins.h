#pragma once
// The four skins stored inside the program (made at build time by the
// skin author and embedded as the resources ":/skins/skin1.swk" to
// ":/skins/skin4.swk").

#include "skin/package/skin_store.h"

inline constexpr int StoredSkinCount = 4;

// Fills the store with the stored packages, in the order of the Skin
// menu, as the items "SkinItem4" to "SkinItem7". Raises Exception when a
// resource is missing (a build that did not embed them).
void LoadStoredSkins(TSkinStore& store);
