// Every file the program writes, failing part-way: the disk full after a
// few kilobytes, a folder the writer may not write to, and the process
// killed in the middle of the new contents. Each time the writer reports
// the failure (or dies), the previous file stays byte for byte, and the
// folder holds nothing it did not hold before.

#include <sys/resource.h>
#include <unistd.h>

#include <functional>
#include <random>

#include "app/settings.h"
#include "core/bitmap.h"
#include "core/strings.h"
#include "imaging/mark.h"
#include "imaging/process.h"
#include "windows/position.h"
#include "windows/windows_fixture.h"

namespace {

using testsupport::FolderEntries;

constexpr rlim_t kRoom = 2048;  // bytes a file may take before the "disk" is full

// A picture whose every coding is well beyond kRoom.
TBitmap Noise() {
  TBitmap b(96, 64, pf24bit);
  std::mt19937 gen(5);
  for (int y = 0; y < b.Height(); ++y) {
    std::uint8_t* row = b.ScanLine(y);
    for (int x = 0; x < 3 * b.Width(); ++x) row[x] = static_cast<std::uint8_t>(gen());
  }
  return b;
}

struct TWriter {
  const char* Name;
  std::string File;                                    // the target, under the test folder
  std::function<bool(const std::string& path)> Write;  // false or an exception: failed
};

class WriterFaultsTest : public WindowsTest {
 protected:
  std::vector<TWriter> Writers() {
    const TBitmap picture = Noise();
    std::vector<TWriter> writers;
    for (const char* ext : {"jpg", "gif", "bmp", "png", "pcx", "tga"}) {
      writers.push_back({ext, std::string("out/picture.") + ext, [picture](const std::string& path) {
                           SaveImageFile(picture, path);
                           return true;
                         }});
    }
    writers.push_back({"mark file", "marks/noise.spm", [picture](const std::string& path) {
                         TMark m;
                         m.AddMark("");
                         m.Records[0].SetPictureType(".bmp");
                         m.MarkPictures[0] = picture;
                         return m.SaveMarkFile(0, path);
                       }});
    writers.push_back({"config.inf", "config.inf", [](const std::string&) {
                         ProgramInfo().ExportPath = "/somewhere/" + std::string(3000, 'x');
                         return ProgramInfo().SaveConfig();
                       }});
    writers.push_back({"position file", "stampwise.ini", [](const std::string& path) {
                         WritePosition(path, "frmMain", TPositionRecord{1, 2, 300, 200, 0});
                         return true;
                       }});
    writers.push_back({"log", "out/run.log", [](const std::string& path) {
                         TStringList log;
                         for (int i = 0; i < 200; ++i) log.Add(std::to_string(i) + ". converted a file => somewhere");
                         log.SaveToFile(path);
                         return true;
                       }});
    return writers;
  }

  // The previous contents of a target: large enough for the position
  // file, whose new contents keep every other section.
  static std::string OldContents(const TWriter& w) {
    if (std::string(w.Name) != "position file") return "precious contents";
    std::string text;
    for (int i = 0; i < 100; ++i) text += "[frmOther" + std::to_string(i) + "]\r\nLeft=1\r\nTop=2\r\n";
    return text;
  }

  // Runs the writer; whether it succeeded.
  static bool Attempt(const TWriter& w, const std::string& path) {
    try {
      return w.Write(path);
    } catch (const std::exception&) {
      return false;
    }
  }
};

}  // namespace

TEST_F(WriterFaultsTest, AWriteThatFailsPartWayLeavesThePreviousFileAndNoStrayFile) {
  ForceDirectories(Dir() + "out");
  ForceDirectories(Dir() + "marks");
  enum TFault { fNoSpace, fPermission, fKilled };
  for (TFault fault : {fNoSpace, fPermission, fKilled}) {
    for (const TWriter& w : Writers()) {
      SCOPED_TRACE(std::string(w.Name) + ", fault " + std::to_string(fault));
      const std::string path = Dir() + w.File;
      const std::string folder = path.substr(0, path.rfind('/') + 1);
      const std::string old = OldContents(w);
      testsupport::WriteBytes(path, std::vector<std::uint8_t>(old.begin(), old.end()));
      const std::vector<std::string> before = FolderEntries(folder);

      if (fault == fNoSpace) {
        testsupport::FileSizeLimit limit(kRoom);
        EXPECT_FALSE(Attempt(w, path));
      } else if (fault == fPermission && ::geteuid() != 0) {
        ::chmod(folder.c_str(), 0555);
        EXPECT_FALSE(Attempt(w, path));
        ::chmod(folder.c_str(), 0755);
      } else {
        // Root is not bound by folder permissions: the child gives its
        // rights up first. A killed child dies of the file-size signal in
        // the middle of the new contents.
        const testsupport::ChildEnd end = testsupport::RunInChild([&] {
          if (fault == fPermission) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) return 4;
          } else {
            rlimit none{0, 0};
            setrlimit(RLIMIT_CORE, &none);
            rlimit room{kRoom, kRoom};
            setrlimit(RLIMIT_FSIZE, &room);
            signal(SIGXFSZ, SIG_DFL);
          }
          return Attempt(w, path) ? 1 : 0;
        });
        if (fault == fPermission) {
          EXPECT_FALSE(end.Signalled);
          EXPECT_EQ(end.Code, 0) << "1: written, 4: no setuid";
        } else {
          EXPECT_TRUE(end.Signalled) << "exit " << end.Code;
          EXPECT_EQ(end.Code, SIGXFSZ);
        }
      }
      const std::vector<std::uint8_t> now = testsupport::ReadBytes(path);
      EXPECT_EQ(std::string(now.begin(), now.end()), old);
      EXPECT_EQ(FolderEntries(folder), before);
    }
  }
  // Without a fault every writer replaces its file.
  for (const TWriter& w : Writers()) {
    SCOPED_TRACE(w.Name);
    const std::string path = Dir() + w.File;
    EXPECT_TRUE(Attempt(w, path));
    const std::vector<std::uint8_t> now = testsupport::ReadBytes(path);
    EXPECT_GT(now.size(), kRoom);
  }
}
