#pragma once
// What the mark editor's tests share: the record's fields as numbers, and a
// record in which every field the editor shows differs from a new one.

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "imaging/mark.h"
#include "windows/mark_editor/mark_editor_model.h"

// Every field the editor shows, read as a number, so two records can be
// compared field by field.
inline const std::vector<std::pair<const char*, std::function<std::int64_t(const TMarkInfo&)>>>& Fields() {
  static const std::vector<std::pair<const char*, std::function<std::int64_t(const TMarkInfo&)>>> fields = {
      {"text mark", [](const TMarkInfo& r) { return r.U8(TMarkInfo::oTextMark); }},
      {"font colour", [](const TMarkInfo& r) { return r.FontColor(); }},
      {"text back colour", [](const TMarkInfo& r) { return r.TextBackColor(); }},
      {"font size", [](const TMarkInfo& r) { return r.FontSize(); }},
      {"font style", [](const TMarkInfo& r) { return r.FontStyle(); }},
      {"anchor", [](const TMarkInfo& r) { return r.Anchor(); }},
      {"x offset", [](const TMarkInfo& r) { return r.XOffset(); }},
      {"y offset", [](const TMarkInfo& r) { return r.YOffset(); }},
      {"key on", [](const TMarkInfo& r) { return r.U8(TMarkInfo::oColorKeyOn); }},
      {"key colour", [](const TMarkInfo& r) { return r.KeyColor(); }},
      {"transparency", [](const TMarkInfo& r) { return r.Transparency(); }},
      {"editor switch", [](const TMarkInfo& r) { return r.EditorSwitch(); }},
      {"tolerance", [](const TMarkInfo& r) { return r.KeyTolerance(); }},
      {"flags", [](const TMarkInfo& r) { return r.EffectFlags(); }},
      {"angle", [](const TMarkInfo& r) { return r.Angle(); }},
      {"rotate red", [](const TMarkInfo& r) { return r.U8(TMarkInfo::oRotateBackRed); }},
      {"rotate green", [](const TMarkInfo& r) { return r.U8(TMarkInfo::oRotateBackGreen); }},
      {"rotate blue", [](const TMarkInfo& r) { return r.U8(TMarkInfo::oRotateBackBlue); }},
      {"mosaic width", [](const TMarkInfo& r) { return r.MosaicWidth(); }},
      {"mosaic height", [](const TMarkInfo& r) { return r.MosaicHeight(); }},
      {"resize x", [](const TMarkInfo& r) { return r.ResizeX(); }},
      {"resize y", [](const TMarkInfo& r) { return r.ResizeY(); }},
      {"source width", [](const TMarkInfo& r) { return r.SourceWidth(); }},
      {"source height", [](const TMarkInfo& r) { return r.SourceHeight(); }},
      {"source back colour", [](const TMarkInfo& r) { return r.SourceBackColor(); }},
      {"frame x", [](const TMarkInfo& r) { return r.FrameWidthX(); }},
      {"frame y", [](const TMarkInfo& r) { return r.FrameWidthY(); }},
      {"frame colour", [](const TMarkInfo& r) { return r.FrameColor(); }},
      {"frame style", [](const TMarkInfo& r) { return r.FrameStyle(); }},
      {"contrast", [](const TMarkInfo& r) { return r.ColorContrast(); }},
      {"bevel inner", [](const TMarkInfo& r) { return r.BevelInner(); }},
      {"bevel outer", [](const TMarkInfo& r) { return r.BevelOuter(); }},
      {"bevel width", [](const TMarkInfo& r) { return r.BevelWidth(); }},
      {"mask left", [](const TMarkInfo& r) { return r.MaskRect().Left; }},
      {"mask top", [](const TMarkInfo& r) { return r.MaskRect().Top; }},
      {"mask right", [](const TMarkInfo& r) { return r.MaskRect().Right; }},
      {"mask bottom", [](const TMarkInfo& r) { return r.MaskRect().Bottom; }},
      {"scale bits", [](const TMarkInfo& r) { return r.U32(TMarkInfo::oSourceScale); }},
  };
  return fields;
}

inline void ExpectSameFields(const TMarkInfo& a, const TMarkInfo& b) {
  for (const auto& [name, get] : Fields()) EXPECT_EQ(get(a), get(b)) << name;
  EXPECT_EQ(a.Name(), b.Name());
  EXPECT_EQ(a.PictureFile(), b.PictureFile());
  EXPECT_EQ(a.FontName(), b.FontName());
  EXPECT_EQ(JoinMarkText(a), JoinMarkText(b));
}

// A record in which every field the editor shows differs from a new one.
inline TMarkInfo FullTextRecord() {
  TMarkInfo r;
  InitMarkInfo(r);
  r.SetName("Logo");
  r.SetTextMark(true);
  SplitMarkText("line one\r\n\r\nline three", r);
  r.SetFontName("DejaVu Serif");
  r.SetFontColor(RGB(1, 2, 3));
  r.SetTextBackColor(RGB(4, 5, 6));
  r.SetFontSize(17);
  r.SetFontStyle(mfsBold | mfsStrikeOut);
  r.SetAnchor(7);
  r.SetXOffset(-1234);
  r.SetYOffset(65537);
  r.SetColorKeyOn(true);
  r.SetKeyColor(RGB(9, 8, 7));
  r.SetTransparency(42);
  r.SetEditorSwitch(1);
  r.SetKeyTolerance(33);
  r.SetAngle(270);
  r.SetRotateBackColor(RGB(10, 20, 30));
  r.SetMosaicWidth(4);
  r.SetMosaicHeight(6);
  r.SetResizeX(250);
  r.SetResizeY(4096);
  r.SetSourceWidth(640);
  r.SetSourceHeight(480);
  r.SetSourceScale(12.5f);
  r.SetSourceBackColor(RGB(11, 12, 13));
  r.SetFrameWidthX(7);
  r.SetFrameWidthY(9);
  r.SetFrameColor(RGB(14, 15, 16));
  r.SetFrameStyle(5);
  r.SetColorContrast(77);
  r.SetBevelInner(2);
  r.SetBevelOuter(0);
  r.SetBevelWidth(3);
  r.SetMaskRect(TRect{10, -20, 40, 100});
  r.SetEffectFlags(EditorFlagBits());
  return r;
}

