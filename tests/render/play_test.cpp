// The window under a virtual X display, driven by real key events (xdotool), as a user drives
// it: keys reach the lamp (the screenshot shows its light), boxes are answered, the focus moves
// between vessels, F2 saves to a new file unless told otherwise and Escape asks before unsaved
// changes are lost; an idle window sleeps; and a recorded session replays to the same state.
// Waits are for events (a window, a file, a picture, the process's end), never fixed delays.
#include <gtest/gtest.h>
#include <stb/stb_image.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
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

#define NEEDS_X_TOOLS()                                  \
  for (const char* tool : {"Xvfb", "xdotool", "import"}) \
    if (!Have(tool)) GTEST_SKIP() << tool << " is not installed"

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

// Waits until `done` holds, for at most `limit` (generous: the machine may be busy).
bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done()) return true;
    std::this_thread::sleep_for(50ms);
  }
  return done();
}

bool Running(pid_t pid) {
  if (pid <= 0 || kill(pid, 0) != 0) return false;
  // A process that has ended but not been reaped is no longer running.
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const auto close = stat.rfind(')');
  return close == std::string::npos || stat.size() < close + 3 || stat[close + 2] != 'Z';
}

// Seconds of CPU time the process has used, user and system.
double CpuSeconds(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  std::istringstream in(stat.substr(stat.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && in >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Pixels of a screenshot that pass `test` (r, g, b); -1 when it cannot be read.
int CountPixels(const fs::path& png, const std::function<bool(int, int, int)>& test) {
  int w = 0, h = 0, comp = 0;
  unsigned char* px = stbi_load(png.string().c_str(), &w, &h, &comp, 3);
  if (!px) return -1;
  int n = 0;
  for (int i = 0; i < w * h; ++i) {
    const unsigned char* p = px + static_cast<std::ptrdiff_t>(i) * 3;
    if (test(p[0], p[1], p[2])) ++n;
  }
  stbi_image_free(px);
  return n;
}

// Warm, bright pixels: the lamp's light on the ground and its glow.
bool Warm(int r, int g, int b) { return r > 70 && r >= g && g >= b && r > b + 4; }
// The green frame of an open box or question.
bool BoxFrame(int r, int g, int b) { return g > 110 && 2 * g > 3 * r && 2 * g > 3 * b; }

// Whether the screenshot shows a yes-or-no question: a box framed in green too low to hold a
// text field under its title (a box with a field is about twice as high at these window
// sizes). The frame's edges are the rows with a long unbroken run of its colour; the lamp's
// HUD text, green too, has none.
bool QuestionShown(const fs::path& png) {
  int w = 0, h = 0, comp = 0;
  unsigned char* px = stbi_load(png.string().c_str(), &w, &h, &comp, 3);
  if (!px) return false;
  int top = -1, bottom = -1;
  for (int y = 0; y < h; ++y) {
    int run = 0, longest = 0;
    for (int x = 0; x < w; ++x) {
      const unsigned char* p = px + (static_cast<std::ptrdiff_t>(y) * w + x) * 3;
      run = BoxFrame(p[0], p[1], p[2]) ? run + 1 : 0;
      longest = std::max(longest, run);
    }
    if (longest < 100) continue;
    if (top < 0) top = y;
    bottom = y;
  }
  stbi_image_free(px);
  return top >= 0 && bottom - top > 10 && bottom - top < 55;
}

class XDisplay {
 public:
  explicit XDisplay(const fs::path& dir) {
    // Xvfb picks a free display and writes its number once it accepts clients. Without
    // -noreset it starts over whenever its last client leaves (the readiness check below is
    // one), and a window connecting then is turned away.
    const fs::path number = dir / "display";
    const std::string pid =
        Capture("Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp -noreset 3>" + Quote(number) +
                " >/dev/null 2>&1 & echo $!");
    pid_ = static_cast<pid_t>(std::atoi(pid.c_str()));
    WaitFor([&] { return !ReadFile(number).empty(); });
    const std::string n = ReadFile(number);
    if (n.empty()) return;
    name_ = ":" + n.substr(0, n.find_first_of("\r\n"));
    // A client must get in before the display is handed out (a window that cannot connect
    // was seen once, right after the number came).
    WaitFor([&] {
      return std::system((Env() + "xdotool getdisplaygeometry >/dev/null 2>&1").c_str()) == 0;
    });
  }
  ~XDisplay() {
    // Gone before the next test starts a display: a server still shutting down removes its
    // socket and lock by the display's name, which may be the next server's by then.
    if (Running(pid_)) {
      kill(pid_, SIGTERM);
      WaitFor([&] { return !Running(pid_); }, 10s);
    }
  }
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;
  const std::string& name() const { return name_; }
  std::string Env() const { return "DISPLAY=" + name_ + " "; }

 private:
  pid_t pid_ = 0;
  std::string name_;
};

// A window on the display: started from a command line, found, given the keyboard.
class Player {
 public:
  Player(const XDisplay& x, const fs::path& dir, const std::string& command)
      : Player(x, dir,
               static_cast<pid_t>(std::atoi(
                   Capture(x.Env() + command + " >" + Quote(dir / "play.log") + " 2>&1 & echo $!")
                       .c_str()))) {}
  // The window of the process `pid`, started by the test.
  Player(const XDisplay& x, const fs::path& dir, pid_t pid) : x_(x), dir_(dir), pid_(pid) {
    // Searched for again until found and given the keyboard: a window made and dropped while
    // the video layer tries its OpenGL settings can vanish under the search or the focus.
    WaitFor(
        [&] {
          const std::string found = Capture(x.Env() + "xdotool search --onlyvisible --pid " +
                                            std::to_string(pid_) + " 2>/dev/null");
          const std::string id = found.substr(0, found.find('\n'));
          if (!id.empty() &&
              Run("timeout 10 xdotool windowfocus --sync " + id + " 2>/dev/null") == 0)
            window_ = id;
          return !window_.empty() || !Running(pid_);
        },
        60s);
  }
  ~Player() {
    if (Running(pid_)) kill(pid_, SIGKILL);
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  bool found() const { return !window_.empty(); }
  pid_t pid() const { return pid_; }
  fs::path log() const { return dir_ / "play.log"; }
  int Run(const std::string& cmd) const { return std::system((x_.Env() + cmd).c_str()); }
  void Keys(const std::string& keys) const { Run("xdotool key --delay 60 " + keys); }
  void Type(const std::string& text) const { Run("xdotool type --delay 40 '" + text + "'"); }
  // Holds a key down for about `time`: how many time steps that makes is what the window
  // counts (and records), whatever the delay.
  void Hold(const std::string& key, std::chrono::milliseconds time) const {
    Run("xdotool keydown " + key);
    std::this_thread::sleep_for(time);
    Run("xdotool keyup " + key);
  }
  // Takes screenshots until one passes `test`; the last one stays in `png`.
  bool WaitForPicture(const fs::path& png, const std::function<bool(const fs::path&)>& test) {
    return WaitFor([&] { return Run("import -window root " + Quote(png)) == 0 && test(png); });
  }
  bool WaitClosed(std::chrono::milliseconds limit = 30s) const {
    return WaitFor([&] { return !Running(pid_); }, limit);
  }

 private:
  const XDisplay& x_;
  fs::path dir_;
  pid_t pid_ = 0;
  std::string window_;
};

const char* const kLampScenario =
    "FOCUS Lamp\n"
    "VESSEL Lamp lumipod\n"
    "  POS 0 0.37 0\n"
    "  SPT 0 40.0 0.7\n"
    "  GBL 0.42000 0.00000\n"
    "END\n";

std::string Driver(const fs::path& dump, const fs::path& scenario, const std::string& size) {
  return "HOSTSIM_PLAY_DUMP=" + Quote(dump) + " " + Quote(RENDER_PLAY_DRIVER) + " " +
         Quote(scenario) + " " + size;
}

TEST(PlayWindow, RealKeysSwitchTheLampAndAnswerTheRangeBox) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path scenario = dir.Write("play.scn", kLampScenario);
  const fs::path dump = dir.path() / "dump.scn";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(), Driver(dump, scenario, "400 300"));
  ASSERT_TRUE(p.found()) << ReadFile(p.log());

  const fs::path off = dir.path() / "off.png", on = dir.path() / "on.png";
  ASSERT_TRUE(p.WaitForPicture(off, [](const fs::path& png) {
    return CountPixels(png, [](int r, int g, int b) { return r + g + b > 60; }) > 100;
  })) << "the window shows nothing";
  const int before = CountPixels(off, Warm);
  p.Keys("b");
  EXPECT_TRUE(p.WaitForPicture(
      on, [&](const fs::path& png) { return CountPixels(png, Warm) > before + 500; }))
      << "warm pixels before B " << before << ", after " << CountPixels(on, Warm);

  // The range box takes 30 characters: the 31st, a 9, is not typed into it.
  p.Keys("n");
  p.Type(std::string(28, '0') + "259");
  p.Keys("Return Escape");
  // The lamp changed and was not saved: Escape asks first, N keeps the window, Y closes it.
  ASSERT_TRUE(p.WaitForPicture(dir.path() / "ask.png", QuestionShown))
      << "no question on Escape with unsaved changes";
  EXPECT_TRUE(Running(p.pid()));
  p.Keys("n Escape y");
  ASSERT_TRUE(p.WaitClosed()) << "the window did not close on Escape, Y";
  EXPECT_EQ(ReadFile(scenario), kLampScenario) << "the scenario was written over";
  const std::string saved = ReadFile(dump);
  EXPECT_NE(saved.find("SPT 1 25.0000 0.7000"), std::string::npos) << saved;
}

// An idle window sleeps between time steps and draws nothing while nothing changes; drawn
// at full speed it took more than one core.
TEST(PlayWindow, AnIdleWindowTakesLittleCpu) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path scenario = dir.Write("play.scn", kLampScenario);
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(), Driver(dir.path() / "dump.scn", scenario, "800 500"));
  ASSERT_TRUE(p.found()) << ReadFile(p.log());
  p.Keys("b");  // lit: its light is what costs most to draw
  ASSERT_TRUE(p.WaitForPicture(dir.path() / "lit.png",
                               [](const fs::path& png) { return CountPixels(png, Warm) > 500; }));
  const double cpu0 = CpuSeconds(p.pid());
  const auto t0 = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(3s);  // the span measured, not a wait for an event
  const double cpu = CpuSeconds(p.pid()) - cpu0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(cpu / wall, 0.25) << cpu << " s of CPU in " << wall << " s";
  EXPECT_TRUE(Running(p.pid()));
}

// In the shipped demo Lamp2 has the focus; F4 moves it on (the tug, then Lamp1), so that B
// switches Lamp1 off; F5 names a vessel. Nothing is asked on Escape once the state is saved.
TEST(PlayWindow, F4AndF5MoveTheFocusAndF2SavesToANewFile) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path demo = fs::path(LUMIPOD_SOURCE_DIR) / "examples" / "scenarios" / "demo.scn";
  const fs::path scenario = dir.Write("demo.scn", ReadFile(demo));
  const fs::path dump = dir.path() / "dump.scn";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(), Driver(dump, scenario, "640 400"));
  ASSERT_TRUE(p.found()) << ReadFile(p.log());

  p.Keys("F4 F4 b");
  // F2 offers demo-1.scn beside the scenario; Enter saves there without a question.
  p.Keys("F2 Return");
  const fs::path first = dir.path() / "demo-1.scn";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(first); })) << ReadFile(p.log());
  EXPECT_EQ(ReadFile(scenario), ReadFile(demo)) << "the loaded scenario was written over";
  const std::string saved = ReadFile(first);
  EXPECT_NE(saved.find("FOCUS Lamp1"), std::string::npos) << saved;
  EXPECT_NE(saved.find("SPT 0 150.0000"), std::string::npos) << "Lamp1 was not switched off\n"
                                                             << saved;

  // F5 and a name give the focus to that vessel; saving over an existing file is confirmed.
  p.Keys("F5");
  p.Type("Lamp2");
  p.Keys("Return F2");
  p.Run("xdotool key --delay 20 --repeat 200 BackSpace");
  p.Type(scenario.string());
  p.Keys("Return");
  ASSERT_TRUE(p.WaitForPicture(dir.path() / "replace.png", QuestionShown))
      << "no question before replacing a file";
  EXPECT_EQ(ReadFile(scenario), ReadFile(demo)) << "replaced before the answer";
  p.Keys("y");
  ASSERT_TRUE(WaitFor([&] {
    return ReadFile(scenario).find("FOCUS Lamp2") != std::string::npos &&
           ReadFile(scenario) != ReadFile(demo);
  })) << ReadFile(scenario);
  p.Keys("Escape");  // saved: nothing to ask
  ASSERT_TRUE(p.WaitClosed()) << "the window did not close on Escape after a save";
  EXPECT_NE(ReadFile(dump).find("FOCUS Lamp2"), std::string::npos);
}

#if defined(HOSTSIM_EXE)
// hostsim play --record writes a session script of what was done; hostsim run replays it to
// the same state, byte for byte.
TEST(PlayWindow, ARecordedSessionReplaysToTheSameScenario) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path scenario = dir.Write("play.scn", kLampScenario);
  const fs::path record = dir.path() / "session.txt";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(),
           Quote(HOSTSIM_EXE) + " play " + Quote(scenario) + " --size 400x300 --record " +
               Quote(record));
  ASSERT_TRUE(p.found()) << ReadFile(p.log());

  p.Keys("b");
  p.Hold("k", 1000ms);  // the intensity ramps up while K is held
  p.Keys("n");          // the range box, answered
  p.Type("31.5");
  p.Keys("Return m Escape");  // the spread box, cancelled
  p.Keys("shift+Left");       // a press with a modifier
  p.Run("xdotool keydown shift");
  p.Hold("Right", 500ms);  // held keys with a modifier held
  p.Run("xdotool keyup shift");
  p.Keys("F2 Return");
  const fs::path saved = dir.path() / "play-1.scn";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(saved); })) << ReadFile(p.log());
  // Saved over the scenario it loaded: the replay still starts from the scenario as loaded.
  p.Keys("F2");
  p.Run("xdotool key --delay 20 --repeat 200 BackSpace");
  p.Type(scenario.string());
  p.Keys("Return y");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(scenario) != kLampScenario; })) << ReadFile(p.log());
  p.Keys("Escape");
  ASSERT_TRUE(p.WaitClosed()) << ReadFile(p.log());

  const std::string script = ReadFile(record);
  // How many time steps a key was held depends on when the window read its events: on a busy
  // machine a press and its release may come in one batch, with no step between (the held
  // steps' lines themselves are checked in the recorder's own test). What must be there:
  for (const char* line :
       {"load session.txt.scn\n", "press B\n", "press K\n", "type 31.5\n", "cancel\n",
        "press Shift+Left\n", "press Shift+Right\n", "save play-1.scn\n", "save play.scn\n"})
    EXPECT_NE(script.find(line), std::string::npos) << line << " not in\n" << script;
  const fs::path out = dir.path() / "replay";
  const std::string replay = Capture(Quote(HOSTSIM_EXE) + " run " + Quote(record) + " --out " +
                                     Quote(out) + " 2>&1; echo status $?");
  EXPECT_NE(replay.find("status 0"), std::string::npos) << replay;
  EXPECT_EQ(ReadFile(out / "play-1.scn"), ReadFile(saved)) << script;
  EXPECT_EQ(ReadFile(out / "play.scn"), ReadFile(scenario)) << script;
  EXPECT_NE(ReadFile(saved).find("SPT 1 31.5000"), std::string::npos) << ReadFile(saved);
}

// F7 prints the window's camera as the option of a picture: started from a camera that looks
// at a vessel, the window prints it as a point, and the picture taken from what it printed is
// the picture taken from the camera it started with.
TEST(PlayWindow, F7PrintsTheCameraThatTakesThePictureShown) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  // Lit, so that its beam on the ground moves with any error of the camera.
  std::string lit = kLampScenario;
  lit.replace(lit.find("SPT 0"), 5, "SPT 1");
  const fs::path scenario = dir.Write("play.scn", lit);
  const std::string chosen = "at=Lamp yaw=40 pitch=25 dist=6";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(),
           Quote(HOSTSIM_EXE) + " play " + Quote(scenario) +
               " --size 400x300 --no-watch --camera '" + chosen + "'");
  ASSERT_TRUE(p.found()) << ReadFile(p.log());
  p.Keys("F7");
  const std::string prefix = "hostsim play: --camera \"";
  ASSERT_TRUE(WaitFor([&] { return ReadFile(p.log()).find(prefix) != std::string::npos; }))
      << ReadFile(p.log());
  p.Keys("Escape");
  ASSERT_TRUE(p.WaitClosed()) << ReadFile(p.log());
  const std::string log = ReadFile(p.log());
  const std::size_t from = log.find(prefix) + prefix.size();
  const std::string printed = log.substr(from, log.find('"', from) - from);
  EXPECT_NE(printed.find(" yaw=40 pitch=25 dist=6"), std::string::npos) << printed;
  EXPECT_EQ(printed.find("Lamp"), std::string::npos) << printed;

  const auto picture = [&](const std::string& camera, const char* name) {
    const fs::path png = dir.path() / name;
    const std::string run =
        Capture(Quote(HOSTSIM_EXE) + " render " + Quote(scenario) + " " + Quote(png) +
                " --size 400x300 --camera '" + camera + "' 2>&1; echo status $?");
    EXPECT_NE(run.find("status 0"), std::string::npos) << run;
    return png;
  };
  const fs::path a = picture(chosen, "chosen.png"), b = picture(printed, "printed.png");
  int w = 0, h = 0, comp = 0, w2 = 0, h2 = 0;
  unsigned char* pa = stbi_load(a.string().c_str(), &w, &h, &comp, 3);
  unsigned char* pb = stbi_load(b.string().c_str(), &w2, &h2, &comp, 3);
  ASSERT_TRUE(pa && pb);
  ASSERT_EQ(w * h, w2 * h2);
  int differ = 0;
  for (int i = 0; i < w * h * 3; ++i) differ += std::abs(pa[i] - pb[i]) > 24 ? 1 : 0;
  stbi_image_free(pa);
  stbi_image_free(pb);
  // The printed words round the point to a ten-thousandth of a metre: at most an edge pixel
  // here and there may turn (a camera looking at the lamp's foot instead turns thousands).
  EXPECT_LT(differ, w * h / 1000) << printed;
}

// A module library rebuilt while the window runs is reloaded: the range typed into the lamp's
// box and the lamp's place on the tug survive. A rebuild that crashes in its set-up, or one
// without an entry point, is refused and the window runs on with the world it had. The
// recording replays the reloads to the same world.
TEST(PlayWindow, ARebuiltModuleIsReloadedAndABrokenOneRefused) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path root = dir.path() / "root";
  fs::create_directories(root / "modules");
  for (const char* folder : {"config", "meshes"})
    fs::copy(fs::path(LUMIPOD_SOURCE_DIR) / "examples" / folder, root / folder);
  const fs::path lamp = root / "modules" / "lumipod.so";
  const auto build = [&](const std::string& module) {
    fs::copy_file(fs::path(LUMIPOD_MODULE_DIR) / (module + ".so"), lamp,
                  fs::copy_options::overwrite_existing);
  };
  build("lumipod");
  const fs::path scenario =
      dir.Write("play.scn", ReadFile(fs::path(LUMIPOD_SOURCE_DIR) / "examples/scenarios/demo.scn"));
  const fs::path record = dir.path() / "session.txt";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  Player p(x, dir.path(),
           Quote(HOSTSIM_EXE) + " play " + Quote(scenario) + " --root " + Quote(root) +
               " --size 400x300 --record " + Quote(record));
  ASSERT_TRUE(p.found()) << ReadFile(p.log());
  p.Keys("n");  // Lamp2's range box
  p.Type("500");
  p.Keys("Return");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(record).find("type 500\n") != std::string::npos; }));

  // A trial in a process of its own may take a while on a loaded machine.
  const auto logSays = [&](const std::string& text) {
    return WaitFor([&] { return ReadFile(p.log()).find(text) != std::string::npos; }, 100s);
  };
  build("checkmod_setupcrash");
  EXPECT_TRUE(
      logSays("lumipod not reloaded: tried in a process of its own, a module crashed in "
              "clbkSetupClass"))
      << ReadFile(p.log());
  // It says where, as a crash's report does.
  EXPECT_NE(ReadFile(p.log()).find("clbkSetupClass of vessel"), std::string::npos);
  EXPECT_NE(ReadFile(p.log()).find("\n  where: "), std::string::npos) << ReadFile(p.log());
  build("testmod_noinit");
  EXPECT_TRUE(logSays("lacks the entry point zvcInit")) << ReadFile(p.log());
  build("lumipod");
  EXPECT_TRUE(logSays("hostsim play: reloaded lumipod\n")) << ReadFile(p.log());
  ASSERT_TRUE(Running(p.pid())) << ReadFile(p.log());

  p.Keys("F2 Return");
  const fs::path saved = dir.path() / "play-1.scn";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(saved); })) << ReadFile(p.log());
  p.Keys("Escape");
  ASSERT_TRUE(p.WaitClosed()) << ReadFile(p.log());
  const std::string text = ReadFile(saved);
  EXPECT_NE(text.find("VESSEL Lamp2 lumipod\n  POS 4 0.37 0\n  ORI 90 0 0\n  SPT 0 500.0000"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("ATTACHED Tug 0 GS"), std::string::npos) << text;

  // The reload made replays; the two refused are notes, so the replay does not try them.
  const std::string script = ReadFile(record);
  std::size_t reloads = 0, refused = 0;
  for (auto at = script.find("\nreload lumipod\n"); at != std::string::npos;
       at = script.find("\nreload lumipod\n", at + 1))
    ++reloads;
  for (auto at = script.find("\n# reload lumipod refused: "); at != std::string::npos;
       at = script.find("\n# reload lumipod refused: ", at + 1))
    ++refused;
  EXPECT_EQ(reloads, 1u) << script;
  EXPECT_EQ(refused, 2u) << script;
  const fs::path out = dir.path() / "replay";
  const std::string replay =
      Capture(Quote(HOSTSIM_EXE) + " run " + Quote(record) + " --root " + Quote(root) + " --out " +
              Quote(out) + " 2>&1; echo status $?");
  EXPECT_NE(replay.find("status 0"), std::string::npos) << replay;
  EXPECT_EQ(ReadFile(out / "play-1.scn"), text) << script;
}

#if defined(WALKTHROUGH_BUILD_DIR)
// The commands of the module authors' guide's walk-through, as they stand there, against
// this build installed into a fresh prefix: a project `hostsim new` writes is built and tested,
// opened in a window that is recording, rebuilt after a change while the window runs (which
// reloads it), replayed, checked with JUnit files written, and installed into a root.
TEST(PlayWindow, TheModuleAuthorsLoopRuns) {
  NEEDS_X_TOOLS();
  const std::string guide = ReadFile(fs::path(LUMIPOD_SOURCE_DIR) / "docs" / "modules.md");
  const auto from = guide.find("\n## The module author's loop\n");
  ASSERT_NE(from, std::string::npos);
  const auto to = guide.find("\n## ", from + 1);
  std::vector<std::string> commands;
  std::istringstream section(guide.substr(from, to - from));
  for (std::string line; std::getline(section, line);)
    if (line.rfind("    ", 0) == 0) commands.push_back(line.substr(4));
  ASSERT_GE(commands.size(), 8u);

  testsupport::TempDir dir;
  const fs::path prefix = dir.path() / "prefix";
  ASSERT_EQ(std::system(("cmake --install " + Quote(WALKTHROUGH_BUILD_DIR) + " --prefix " +
                         Quote(prefix) + " >/dev/null")
                            .c_str()),
            0);
  // The commands run in the folder, with the installed hostsim first on the path and this
  // build's compiler and generator.
  struct InFolder {
    fs::path before = fs::current_path();
    explicit InFolder(const fs::path& folder) { fs::current_path(folder); }
    ~InFolder() { fs::current_path(before); }
  } in(dir.path());
  const std::string env = "PATH=" + Quote(prefix / "bin") +
                          ":\"$PATH\" CXX=" + Quote(WALKTHROUGH_CXX) +
                          " CMAKE_GENERATOR=" + Quote(WALKTHROUGH_GENERATOR) + " ";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  std::unique_ptr<Player> window;
  for (std::string command : commands) {
    const std::size_t at = command.find("PREFIX");
    if (at != std::string::npos) command.replace(at, 6, prefix.string());
    SCOPED_TRACE(command);
    if (command.size() > 2 && command.ends_with(" &")) {
      window = std::make_unique<Player>(x, dir.path(), env + command.substr(0, command.size() - 2));
      ASSERT_TRUE(window->found()) << ReadFile(window->log());
      // The change the walk-through makes before it builds again.
      const fs::path source = dir.path() / "windsock" / "windsock.cpp";
      std::string text = ReadFile(source);
      const auto hud = text.find("[L] lamp");
      ASSERT_NE(hud, std::string::npos);
      text.replace(hud, 8, "[L] light");
      std::ofstream(source, std::ios::binary) << text;
      continue;
    }
    const std::string out =
        Capture(x.Env() + env + "sh -c " + Quote(command) + " 2>&1; echo \"status $?\"");
    ASSERT_TRUE(out.ends_with("status 0")) << out;
    if (window) {  // the rebuild: the window reloads the module, and is closed
      EXPECT_TRUE(WaitFor(
          [&] {
            return ReadFile(window->log()).find("hostsim play: reloaded windsock\n") !=
                   std::string::npos;
          },
          100s))
          << ReadFile(window->log());
      window->Keys("Escape");
      EXPECT_TRUE(window->WaitClosed()) << ReadFile(window->log());
      window.reset();
    }
  }
  EXPECT_NE(ReadFile("try.session").find("reload windsock\n"), std::string::npos);
  for (const char* file : {"windsock/build/junit.xml", "check.xml", "host-root/modules/windsock.so",
                           "host-root/config/windsock.cfg"})
    EXPECT_TRUE(fs::exists(file)) << file;
}
#endif

// Starts `hostsim play` with `args` on the display, its standard error into the folder's
// play.log (as Player::log names it) and, `withoutOutput`, its standard output closed.
pid_t StartPlay(const XDisplay& x, const fs::path& dir, const std::vector<std::string>& args,
                bool withoutOutput = false) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setenv("DISPLAY", x.name().c_str(), 1);
  if (!std::freopen((dir / "play.log").c_str(), "w", stderr)) _exit(127);
  if (withoutOutput) close(1);
  std::vector<std::string> words = {HOSTSIM_EXE, "play"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  execv(HOSTSIM_EXE, argv.data());
  _exit(127);
}

// Waits for the process `pid` to end: whether it exited with `code`; its wait status in the
// message otherwise.
testing::AssertionResult ExitsWith(pid_t pid, int code) {
  int status = 0;
  if (!WaitFor([&] { return waitpid(pid, &status, WNOHANG) == pid; }))
    return testing::AssertionFailure() << "it did not end";
  if (WIFEXITED(status) && WEXITSTATUS(status) == code) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "wait status " << status;
}

// SIGTERM closes a window with unsaved changes at once, without asking; each line of the
// recording is on the disk as soon as it happened, and the status tells the signal.
TEST(PlayWindow, ASignalClosesTheWindowAtOnceWithTheRecordingKept) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path scenario = dir.Write("play.scn", kLampScenario);
  const fs::path record = dir.path() / "session.txt";
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  const pid_t pid = StartPlay(
      x, dir.path(), {scenario.string(), "--size", "400x300", "--record", record.string()});
  Player p(x, dir.path(), pid);
  ASSERT_TRUE(p.found());
  p.Keys("b");
  ASSERT_TRUE(WaitFor([&] { return ReadFile(record).find("press B\n") != std::string::npos; }))
      << ReadFile(record);
  kill(pid, SIGTERM);
  EXPECT_TRUE(ExitsWith(pid, 128 + SIGTERM));
}

// A window started without a standard output writes nothing of its own into the files it
// opens: the recording, or the display's connection (which a message once silenced, so that
// no key reached the window). F2's "saved" message is the output that could not be written:
// the status is 1, with the reason on the standard error.
TEST(PlayWindow, AClosedStandardOutputTakesNoFileItsPlace) {
  NEEDS_X_TOOLS();
  for (const char* option : {"--record", "--save"}) {
    SCOPED_TRACE(option);
    testsupport::TempDir dir;
    const fs::path scenario = dir.Write("play.scn", kLampScenario);
    const fs::path file = dir.path() / "out.txt";
    XDisplay x(dir.path());
    ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
    const pid_t pid = StartPlay(
        x, dir.path(), {scenario.string(), "--size", "400x300", option, file.string()}, true);
    Player p(x, dir.path(), pid);
    ASSERT_TRUE(p.found()) << ReadFile(p.log());
    p.Keys("F2 Return");
    const fs::path saved =
        dir.path() / (option == std::string("--save") ? "out.txt" : "play-1.scn");
    ASSERT_TRUE(WaitFor([&] { return fs::exists(saved); })) << ReadFile(p.log());
    p.Keys("Escape");
    EXPECT_TRUE(ExitsWith(pid, 1)) << "the window took no key after the save";
    EXPECT_NE(ReadFile(p.log()).find("standard output: cannot write: Bad file descriptor\n"),
              std::string::npos)
        << ReadFile(p.log());
    EXPECT_EQ(ReadFile(file).find("saved"), std::string::npos) << ReadFile(file);
  }
}

// F2 refuses to save over an input of the run, and a module that never returns from a key
// neither freezes the window for good nor keeps a signal from ending it: the window says the
// callback has been running, and SIGTERM ends it with the report and the status 143.
TEST(PlayWindow, F2RefusesAnInputAndASignalEndsAHungModule) {
  NEEDS_X_TOOLS();
  testsupport::TempDir dir;
  const fs::path root = dir.path() / "root";
  fs::create_directories(root / "modules");
  fs::copy(fs::path(LUMIPOD_SOURCE_DIR) / "tests/testmods/checkroot", root,
           fs::copy_options::recursive);
  const std::string library = std::string("checkmod_hang.so");
  fs::copy_file(fs::path(LUMIPOD_MODULE_DIR) / library, root / "modules" / library);
  const fs::path scenario = dir.Write("hang.scn", "FOCUS C1\nVESSEL C1 checkmod_hang\nEND\n");
  const fs::path config = root / "config" / "checkmod_hang.cfg";
  const std::string configText = ReadFile(config);
  XDisplay x(dir.path());
  ASSERT_FALSE(x.name().empty()) << "Xvfb did not start";
  const pid_t pid =
      StartPlay(x, dir.path(),
                {scenario.string(), "--root", root.string(), "--size", "400x300", "--save", "x"});
  Player p(x, dir.path(), pid);
  ASSERT_TRUE(p.found()) << ReadFile(p.log());
  const auto logSays = [&](const std::string& text) {
    return WaitFor([&] { return ReadFile(p.log()).find(text) != std::string::npos; }, 60s);
  };

  p.Keys("F2 BackSpace");
  p.Type(config.string());
  p.Keys("Return");
  EXPECT_TRUE(logSays("hostsim play: not saved: " + config.string() +
                      ": it is an input of this run: the class configuration "))
      << ReadFile(p.log());
  EXPECT_EQ(ReadFile(config), configText);

  p.Keys("d");
  EXPECT_TRUE(
      logSays("hostsim: note: clbkBufferedKey of vessel C1 (class checkmod_hang) has "
              "been running for "))
      << ReadFile(p.log());
  kill(pid, SIGTERM);
  EXPECT_TRUE(ExitsWith(pid, 128 + SIGTERM));
  EXPECT_NE(ReadFile(p.log()).find("hostsim: stopped by SIGTERM while a module ran "
                                   "clbkBufferedKey of vessel C1 (class checkmod_hang)\n"),
            std::string::npos)
      << ReadFile(p.log());
}

#endif

}  // namespace
