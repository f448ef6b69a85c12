#include <gtest/gtest.h>

#include <QColor>

#include "windows/program_icon.h"
#include "windows/windows_fixture.h"

namespace {

// The icon is painted at every size a desktop asks for, with the stamp's
// paper, picture and postmark in it and transparent corners round it.
TEST_F(WindowsTest, ProgramIconAtEverySize) {
  const QIcon icon = ProgramIcon();
  ASSERT_FALSE(icon.isNull());
  for (int size : {16, 24, 32, 48, 64}) {
    SCOPED_TRACE(size);
    const QImage image = icon.pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(size, size));
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    int opaque = 0;
    int blue = 0;
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        const QColor c = QColor::fromRgba(image.pixel(x, y));
        opaque += c.alpha() >= 128;
        blue += c.alpha() >= 128 && c.blue() > c.red() + 40 && c.blue() > c.green();
      }
    }
    EXPECT_GT(opaque, size * size / 2);
    EXPECT_GT(blue, size * size / 20);
  }
}

}  // namespace
