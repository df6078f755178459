// The window under a virtual X display, driven by real key events: B switches the lamp on
// (the screenshot shows its light), N opens the range box, typed text and Enter answer it,
// Escape closes the window; the scenario written at exit holds what the keys did. The box
// takes no more characters than the module opened it for.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/world_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Output of a shell command, trimmed.
std::string Capture(const std::string& cmd) {
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) out += buf;
    pclose(f);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
  return out;
}

// Waits until `done` holds, for at most `limit`.
template <typename Fn>
bool WaitFor(Fn done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

bool Running(pid_t pid) { return pid > 0 && kill(pid, 0) == 0; }

// Warm, bright pixels of a screenshot: the lamp's light on the ground and its glow.
int WarmPixels(const fs::path& png) {
  int w = 0, h = 0, comp = 0;
  unsigned char* px = stbi_load(png.string().c_str(), &w, &h, &comp, 3);
  if (!px) return -1;
  int n = 0;
  for (int i = 0; i < w * h; ++i) {
    const unsigned char* p = px + static_cast<std::ptrdiff_t>(i) * 3;
    if (p[0] > 70 && p[0] >= p[1] && p[1] >= p[2] && p[0] > p[2] + 4) ++n;
  }
  stbi_image_free(px);
  return n;
}

class XDisplay {
 public:
  explicit XDisplay(const fs::path& dir) {
    // Xvfb picks a free display and writes its number once it accepts clients.
    const fs::path number = dir / "display";
    const std::string pid = Capture("Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>" +
                                    Quote(number) + " >/dev/null 2>&1 & echo $!");
    pid_ = static_cast<pid_t>(std::atoi(pid.c_str()));
    WaitFor([&] { return !ReadFile(number).empty(); }, 10s);
    const std::string n = ReadFile(number);
    if (!n.empty()) name_ = ":" + n.substr(0, n.find_first_of("\r\n"));
  }
  ~XDisplay() {
    if (Running(pid_)) kill(pid_, SIGTERM);
  }
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;
  const std::string& name() const { return name_; }
  std::string Env() const { return "DISPLAY=" + name_ + " "; }

 private:
  pid_t pid_ = 0;
  std::string name_;
};

TEST(PlayWindow, RealKeysSwitchTheLampAndAnswerTheRangeBox) {
  for (const char* tool : {"Xvfb", "xdotool", "import"})
    if (!Have(tool)) GTEST_SKIP() << tool << " is not installed";
  testsupport::TempDir dir;
  const fs::path scenario = dir.Write("play.scn",
                                      "FOCUS Lamp\n"
                                      "VESSEL Lamp lumipod\n"
                                      "  POS 0 0.37 0\n"
                                      "  SPT 0 40.0 0.7\n"
                                      "  GBL 0.42000 0.00000\n"
                                      "END\n");
  const fs::path dump = dir.path() / "dump.scn";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";

  const std::string pid =
      Capture(x.Env() + "HOSTSIM_PLAY_DUMP=" + Quote(dump) + " " + Quote(RENDER_PLAY_DRIVER) + " " +
              Quote(scenario) + " 400 300 >" + Quote(dir.path() / "play.log") + " 2>&1 & echo $!");
  const pid_t player = static_cast<pid_t>(std::atoi(pid.c_str()));
  const std::string window =
      Capture(x.Env() + "timeout 20 xdotool search --sync --onlyvisible --pid " + pid);
  ASSERT_FALSE(window.empty()) << ReadFile(dir.path() / "play.log");
  const std::string wid = window.substr(0, window.find('\n'));
  const auto run = [&](const std::string& cmd) { return std::system((x.Env() + cmd).c_str()); };
  run("xdotool windowfocus --sync " + wid + " 2>/dev/null");
  std::this_thread::sleep_for(1500ms);
  ASSERT_EQ(run("import -window root " + Quote(dir.path() / "off.png")), 0);

  run("xdotool key --delay 80 b");
  std::this_thread::sleep_for(1500ms);
  ASSERT_EQ(run("import -window root " + Quote(dir.path() / "on.png")), 0);

  run("xdotool key --delay 80 n");
  std::this_thread::sleep_for(500ms);
  // The range box takes 30 characters: the 31st, a 9, is not typed into it.
  run("xdotool type --delay 40 " + std::string(28, '0') + "259");
  run("xdotool key --delay 80 Return");
  std::this_thread::sleep_for(500ms);
  run("xdotool key Escape");
  const bool closed = WaitFor([&] { return !Running(player) || fs::exists(dump); }, 15s) &&
                      WaitFor([&] { return !Running(player); }, 5s);
  if (!closed) kill(player, SIGKILL);
  ASSERT_TRUE(closed) << "the window did not close on Escape";

  const int before = WarmPixels(dir.path() / "off.png");
  const int after = WarmPixels(dir.path() / "on.png");
  EXPECT_GE(before, 0);
  EXPECT_GT(after, before + 500) << "warm pixels before B " << before << ", after " << after;

  // Switched on, and the range typed into the box.
  const std::string saved = ReadFile(dump);
  EXPECT_NE(saved.find("SPT 1 25.0000 0.7000"), std::string::npos) << saved;
}

}  // namespace
