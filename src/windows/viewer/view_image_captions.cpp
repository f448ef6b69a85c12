#include "windows/viewer/view_image_captions.h"

namespace {

constexpr TControlCaption MenuCaptions[] = {
    {"mnuNext", 1230},         {"mnuPrevious", 1231},        {"mnuSlideshow", 1232},
    {"mnuZoomIn", 1233},       {"mnuZoomOut", 1234},         {"mnuZoomActual", 1235},
    {"mnuZoomBest", 1236},     {"mnuZoomLock", 1237},        {"mnuReload", 1238},
    {"mnuFullScreen", 1239},   {"mnuEdit", 1242},            {"mnuCopy", 1243},
    {"mnuCopyToClip", 1244},   {"mnuDelete", 1245},          {"mnuCopyFileTo", 1246},
    {"mnuSaveAs", 1247},       {"mnuSave", 1248},            {"mnuOptions", 1250},
    {"mnuExit", 1251},         {"mnuLocationLock", 1252},    {"mnuRotate", 1260},
    {"mnuRotate90", 1261},     {"mnuRotate180", 1262},       {"mnuRotate270", 1263},
    {"mnuFilpHorizontal", 1264}, {"mnuFilpVertical", 1265},  {"mnuEffect", 1270},
    {"mnuBlur", 1271},         {"mnuSharpen", 1272},         {"mnuGrayscale", 1273},
    {"mnuIncreaseBrightness", 1274}, {"mnuDiminishBrightness", 1275},
    {"mnuIncreasecontrast", 1276}, {"mnuDiminishcontrast", 1277},
};
constexpr TControlCaption ToolHints[] = {
    {"tbNext", 1350},       {"tbPrevious", 1351}, {"tbSlideshow", 1352}, {"tbZoomIn", 1353},
    {"tbZoomOut", 1354},    {"tbZoomActual", 1355}, {"tbZoomBest", 1356}, {"tbZoomLock", 1357},
    {"tbReload", 1358},     {"tbOptions", 1359},  {"tbExit", 1360},
};

}  // namespace

std::span<const TControlCaption> ViewerMenuCaptions() { return MenuCaptions; }

std::span<const TControlCaption> ViewerToolHints() { return ToolHints; }
