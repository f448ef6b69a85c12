#include "support/test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "core/bitmap.h"

extern char** environ;

namespace testsupport {

TempDir::TempDir() {
  std::string base = std::filesystem::temp_directory_path().string();
  std::string templ = base + "/stampwise-test-XXXXXX";
  std::vector<char> buf(templ.begin(), templ.end());
  buf.push_back('\0');
  if (!::mkdtemp(buf.data())) throw std::runtime_error("mkdtemp failed");
  path_ = std::string(buf.data()) + "/";
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

CommandResult Run(const std::vector<std::string>& argv, const std::string& stdinData) {
  CommandResult result;
  int in[2], out[2], err[2];
  if (::pipe(in) || ::pipe(out) || ::pipe(err)) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&actions, fd);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, argv[0].c_str(), &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  if (rc != 0) {
    ::close(in[1]);
    ::close(out[0]);
    ::close(err[0]);
    result.Err = "cannot start " + argv[0];
    return result;
  }
  // Feed stdin and drain stdout/stderr together so no pipe fills up.
  std::size_t written = 0;
  int inFd = in[1];
  if (stdinData.empty()) {
    ::close(inFd);
    inFd = -1;
  } else {
    ::fcntl(inFd, F_SETFL, O_NONBLOCK);
  }
  bool outOpen = true, errOpen = true;
  char buffer[65536];
  while (outOpen || errOpen || inFd >= 0) {
    pollfd fds[3];
    int n = 0;
    int outIdx = -1, errIdx = -1, inIdx = -1;
    if (outOpen) { fds[n] = {out[0], POLLIN, 0}; outIdx = n++; }
    if (errOpen) { fds[n] = {err[0], POLLIN, 0}; errIdx = n++; }
    if (inFd >= 0) { fds[n] = {inFd, POLLOUT, 0}; inIdx = n++; }
    if (::poll(fds, static_cast<nfds_t>(n), -1) < 0) break;
    if (outIdx >= 0 && fds[outIdx].revents) {
      ssize_t r = ::read(out[0], buffer, sizeof buffer);
      if (r <= 0) outOpen = false; else result.Out.append(buffer, static_cast<std::size_t>(r));
    }
    if (errIdx >= 0 && fds[errIdx].revents) {
      ssize_t r = ::read(err[0], buffer, sizeof buffer);
      if (r <= 0) errOpen = false; else result.Err.append(buffer, static_cast<std::size_t>(r));
    }
    if (inIdx >= 0 && fds[inIdx].revents) {
      if (fds[inIdx].revents & (POLLERR | POLLHUP)) {
        ::close(inFd);
        inFd = -1;
      } else {
        ssize_t w = ::write(inFd, stdinData.data() + written, stdinData.size() - written);
        if (w > 0) written += static_cast<std::size_t>(w);
        if (w < 0 || written == stdinData.size()) {
          ::close(inFd);
          inFd = -1;
        }
      }
    }
  }
  ::close(out[0]);
  ::close(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return result;
}

bool HaveTool(const std::string& path) { return ::access(path.c_str(), X_OK) == 0; }

std::string SkipReason(const std::string& path) {
  return path + " is not installed (scripts/install-deps.sh installs it)";
}

bool HavePillow() {
  static int cached = -1;
  if (cached < 0) {
    cached = HaveTool("/usr/bin/python3") && Run({"/usr/bin/python3", "-c", "import PIL"}).ExitCode == 0 ? 1 : 0;
  }
  return cached == 1;
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("cannot read " + path);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream f(path, std::ios::binary);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("cannot write " + path);
}

std::string SourceDir() {
  const char* dir = std::getenv("STAMPWISE_SOURCE_DIR");
  return dir ? dir : ".";
}

namespace {

// Reads the next header token of a PNM, skipping whitespace and comments.
std::string NextToken(const std::string& d, std::size_t& pos) {
  while (pos < d.size()) {
    if (d[pos] == '#') {
      while (pos < d.size() && d[pos] != '\n') ++pos;
    } else if (std::isspace(static_cast<unsigned char>(d[pos]))) {
      ++pos;
    } else {
      break;
    }
  }
  std::size_t start = pos;
  while (pos < d.size() && !std::isspace(static_cast<unsigned char>(d[pos]))) ++pos;
  return d.substr(start, pos - start);
}

}  // namespace

RgbImage ParsePnm(const std::string& d) {
  std::size_t pos = 0;
  std::string magic = NextToken(d, pos);
  RgbImage img;
  int maxval = 1, depth = 0;
  if (magic == "P7") {
    std::string tupl;
    for (;;) {
      std::string key = NextToken(d, pos);
      if (key == "ENDHDR") break;
      if (key.empty()) throw std::runtime_error("bad PAM header");
      std::string value = NextToken(d, pos);
      if (key == "WIDTH") img.Width = std::stoi(value);
      else if (key == "HEIGHT") img.Height = std::stoi(value);
      else if (key == "DEPTH") depth = std::stoi(value);
      else if (key == "MAXVAL") maxval = std::stoi(value);
    }
  } else if (magic == "P4" || magic == "P5" || magic == "P6") {
    img.Width = std::stoi(NextToken(d, pos));
    img.Height = std::stoi(NextToken(d, pos));
    if (magic != "P4") maxval = std::stoi(NextToken(d, pos));
    depth = magic == "P6" ? 3 : 1;
  } else {
    throw std::runtime_error("not a binary PNM: " + magic);
  }
  ++pos;  // the single whitespace byte after the header
  if (maxval > 255) throw std::runtime_error("16-bit PNM not supported here");
  std::size_t pixels = static_cast<std::size_t>(img.Width) * static_cast<std::size_t>(img.Height);
  img.Rgb.resize(pixels * 3);
  if (magic == "P4") {
    std::size_t rowBytes = (static_cast<std::size_t>(img.Width) + 7) / 8;
    if (d.size() < pos + rowBytes * static_cast<std::size_t>(img.Height)) throw std::runtime_error("short PBM");
    for (int y = 0; y < img.Height; ++y) {
      for (int x = 0; x < img.Width; ++x) {
        bool black = (static_cast<unsigned char>(d[pos + y * rowBytes + x / 8]) >> (7 - x % 8)) & 1;
        std::uint8_t v = black ? 0 : 255;
        std::size_t o = (static_cast<std::size_t>(y) * img.Width + x) * 3;
        img.Rgb[o] = img.Rgb[o + 1] = img.Rgb[o + 2] = v;
      }
    }
    return img;
  }
  if (d.size() < pos + pixels * depth) throw std::runtime_error("short PNM");
  for (std::size_t i = 0; i < pixels; ++i) {
    auto s = [&](int c) {
      int v = static_cast<unsigned char>(d[pos + i * depth + c]);
      return static_cast<std::uint8_t>(maxval == 255 ? v : (v * 255 + maxval / 2) / maxval);
    };
    if (depth >= 3) {
      img.Rgb[i * 3] = s(0);
      img.Rgb[i * 3 + 1] = s(1);
      img.Rgb[i * 3 + 2] = s(2);
    } else {
      img.Rgb[i * 3] = img.Rgb[i * 3 + 1] = img.Rgb[i * 3 + 2] = s(0);
    }
  }
  return img;
}

std::string PpmOf(const TBitmap& bitmap) {
  std::string ppm = "P6\n" + std::to_string(bitmap.Width()) + " " + std::to_string(bitmap.Height()) + "\n255\n";
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x) {
      const TColor c = bitmap.GetPixelColor(x, y);
      ppm += static_cast<char>(GetRValue(c));
      ppm += static_cast<char>(GetGValue(c));
      ppm += static_cast<char>(GetBValue(c));
    }
  }
  return ppm;
}

std::vector<std::string> FolderEntries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

FileSizeLimit::FileSizeLimit(rlim_t bytes) {
  getrlimit(RLIMIT_FSIZE, &saved_);
  oldHandler_ = signal(SIGXFSZ, SIG_IGN);
  rlimit limit = saved_;
  limit.rlim_cur = bytes;
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  setrlimit(RLIMIT_FSIZE, &saved_);
  signal(SIGXFSZ, oldHandler_);
}

namespace {

// Forks a child that exits with what work returns (127 when it throws).
pid_t ForkWork(const std::function<int()>& work) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    int code = 127;
    try {
      code = work();
    } catch (...) {
    }
    ::_exit(code);
  }
  return child;
}

ChildEnd EndOf(int status) {
  if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
  return {false, WEXITSTATUS(status)};
}

}  // namespace

ChildEnd RunInChild(const std::function<int()>& work) {
  const pid_t child = ForkWork(work);
  int status = 0;
  if (::waitpid(child, &status, 0) != child) throw std::runtime_error("waitpid failed");
  return EndOf(status);
}

ChildEnd RunInChild(const std::function<int()>& work, int watchdogSeconds) {
  const pid_t child = ForkWork(work);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(watchdogSeconds);
  int status = 0;
  for (;;) {
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) break;
    if (ended < 0) throw std::runtime_error("waitpid failed");
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      ChildEnd end{true, SIGKILL};
      end.TimedOut = true;
      return end;
    }
    ::usleep(20000);
  }
  return EndOf(status);
}

}  // namespace testsupport
