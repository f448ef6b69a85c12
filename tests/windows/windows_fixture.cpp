#include "windows/windows_fixture.h"

#include <QAbstractButton>

#include <memory>

#include "core/strings.h"
#include "imaging/mark.h"
#include "windows/form_support.h"

namespace {

// One application for the whole test program; Qt allows only one.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_windows";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
    SetApplicationTitle("Stampwise");
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQt = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

void WindowsTest::SetUp() {
  SetProgramDir(dir_.Path());
  ForceDirectories(dir_.Path() + "language");
  const auto english = testsupport::ReadBytes(testsupport::SourceDir() + "/language/english");
  testsupport::WriteBytes(dir_.Path() + "language/english", english);
  SetGuiHandler(&handler_);
  CreateProgramInfo();
}

void WindowsTest::TearDown() {
  // Windows left over by a failed test must not answer the next one.
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (auto* dialog = qobject_cast<QDialog*>(w); dialog && dialog->isVisible()) dialog->reject();
  }
  QCoreApplication::processEvents();
  FreeProgramInfo();
  SetGuiHandler(nullptr);
  SetProgramDir("");
}

void WindowsTest::SetText(int number, const std::string& text) {
  ProgramInfo().LanguageTexts.SetValue(std::to_string(number), text);
}

void ClickChild(QWidget* window, const char* name) {
  auto* button = window->findChild<QAbstractButton*>(name);
  ASSERT_NE(button, nullptr) << name;
  QTest::mouseClick(button, Qt::LeftButton);
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

std::string WriteOneColourMark(const std::string& folder, const std::string& name, int w, int h, TColor color) {
  TMark m;
  m.AddMark("");
  m.Records[0].SetPictureType(".bmp");
  m.Records[0].SetAnchor(0);
  m.Records[0].SetXOffset(0);
  m.Records[0].SetYOffset(0);
  m.Records[0].SetTransparency(0);
  m.Records[0].SetColorKeyOn(false);
  TBitmap solid(w, h, pf24bit);
  solid.Canvas().Brush.Color = color;
  solid.Canvas().FillRect(TRect{0, 0, w, h});
  m.MarkPictures[0] = solid;
  ForceDirectories(folder + "spm");
  const std::string path = folder + "spm/" + name + ".spm";
  EXPECT_TRUE(m.SaveMarkFile(0, path));
  return path;
}
