// The host's one file writer and one file reader: what they replace and what they refuse,
// permissions and links, temporary files a killed save leaves, size limits, pipes and devices.
#include "hostsim/platform/files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/world_fixture.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;
using hostsim::platform::ReadFile;
using hostsim::platform::ReadTextFile;
using hostsim::platform::RemoveScratchFolders;
using hostsim::platform::ScratchFolder;
using hostsim::platform::WriteFile;
using testsupport::TempDir;

// The names in a folder, sorted.
std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(FileWriter, ReplacesTheContentAndLeavesNothingElse) {
  TempDir dir;
  const auto file = dir.Write("a.scn", "old contents that are longer\n");
  EXPECT_EQ(WriteFile(file, "new\n"), "");
  EXPECT_EQ(testsupport::ReadFile(file), "new\n");
  EXPECT_EQ(WriteFile(dir.path() / "b.scn", ""), "");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "b.scn"), "");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.scn", "b.scn"}));
}

TEST(FileWriter, RefusesAFolderAndAMissingFolderAndCreatesNone) {
  TempDir dir;
  fs::create_directory(dir.path() / "taken");
  EXPECT_EQ(WriteFile(dir.path() / "taken", "x"), "Is a directory");
  EXPECT_TRUE(fs::is_directory(dir.path() / "taken"));
  const std::string reason = WriteFile(dir.path() / "nosuch" / "deeper" / "a.scn", "x");
  EXPECT_NE(reason.find("nosuch/deeper: No such file or directory"), std::string::npos) << reason;
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"taken"});
}

TEST(FileWriter, RefusesAReadOnlyFileAndLeavesIt) {
  TempDir dir;
  const auto file = dir.Write("ro.scn", "keep\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  // Refused even to a process that may write anywhere (the tests may run as root).
  EXPECT_EQ(WriteFile(file, "new\n"), "the file is read-only");
  EXPECT_EQ(testsupport::ReadFile(file), "keep\n");
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"ro.scn"});
}

TEST(FileWriter, RemovesTheTemporaryFilesOfProcessesThatNoLongerRun) {
  TempDir dir;
  // 999999999 is above every system's process ids; the others are not the writer's files.
  for (const char* name : {".hostsim-999999999-3.tmp", ".hostsim-x-1.tmp", ".hostsim-1.tmp",
                           "notes.tmp", ".hostsim--1.tmp"})
    dir.Write(name, "left behind");
  EXPECT_EQ(WriteFile(dir.path() / "saved.scn", "new"), "");
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{".hostsim--1.tmp", ".hostsim-1.tmp", ".hostsim-x-1.tmp",
                                      "notes.tmp", "saved.scn"}));
}

TEST(FileReader, ReadsARegularFileAndRefusesFoldersMissingAndOversizedFiles) {
  TempDir dir;
  const auto file = dir.Write("f.txt", std::string(1000, 'x'));
  std::string bytes = "stale";
  EXPECT_EQ(ReadFile(file, 1000, bytes), "");
  EXPECT_EQ(bytes, std::string(1000, 'x'));
  EXPECT_EQ(ReadFile(file, 999, bytes),
            "larger than 999 bytes, the most that is read from such a file");
  EXPECT_EQ(bytes, "");
  EXPECT_EQ(ReadFile(dir.path(), 1000, bytes), "Is a directory");
  EXPECT_EQ(ReadFile(dir.path() / "missing", 1000, bytes), "No such file or directory");
}

TEST(FileReader, TextFilesLoseALeadingByteOrderMarkOnly) {
  TempDir dir;
  std::string text;
  EXPECT_EQ(ReadTextFile(dir.Write("bom.scn", "\xEF\xBB\xBFTITLE x\n"), 100, text), "");
  EXPECT_EQ(text, "TITLE x\n");
  EXPECT_EQ(ReadTextFile(dir.Write("mid.scn", "A\xEF\xBB\xBF\n"), 100, text), "");
  EXPECT_EQ(text, "A\xEF\xBB\xBF\n");
  EXPECT_EQ(ReadTextFile(dir.Write("only.scn", "\xEF\xBB\xBF"), 100, text), "");
  EXPECT_EQ(text, "");
  EXPECT_EQ(ReadFile(dir.path() / "bom.scn", 100, text), "");
  EXPECT_EQ(text, "\xEF\xBB\xBFTITLE x\n");
}

TEST(Folders, AreCreatedWithTheirParentsAndAFailureNamesTheFolder) {
  TempDir dir;
  EXPECT_EQ(hostsim::platform::CreateFolders(dir.path() / "a" / "b" / "c"), "");
  EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b" / "c"));
  EXPECT_EQ(hostsim::platform::CreateFolders(dir.path() / "a"), "");
  dir.Write("file", "");
  const std::string reason = hostsim::platform::CreateFolders(dir.path() / "file" / "x");
  EXPECT_NE(reason.find("file/x: "), std::string::npos) << reason;
  EXPECT_NE(hostsim::platform::CreateFolders(dir.path() / "file"), "");
}

TEST(SameFile, ComparesFilesNotSpellings) {
  TempDir dir;
  const auto file = dir.Write("a.scn", "x");
  dir.Write("b.scn", "x");
  EXPECT_TRUE(hostsim::platform::SameFile(file, dir.path() / "." / "a.scn"));
  fs::create_directory(dir.path() / "sub");
  EXPECT_TRUE(hostsim::platform::SameFile(dir.path() / "sub" / ".." / "a.scn", file));
  EXPECT_FALSE(hostsim::platform::SameFile(file, dir.path() / "b.scn"));
  EXPECT_FALSE(hostsim::platform::SameFile(file, dir.path() / "missing.scn"));
  EXPECT_FALSE(hostsim::platform::SameFile(dir.path() / "missing.scn", dir.path() / "missing.scn"));
}

#if !defined(_WIN32)

mode_t ModeOf(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(FileWriter, KeepsTheModeOfTheFileReplacedAndGivesANewFileTheUsualOne) {
  TempDir dir;
  for (mode_t mode : {0600, 0640, 0755}) {
    const auto file = dir.Write("m.scn", "old");
    ASSERT_EQ(::chmod(file.c_str(), mode), 0);
    EXPECT_EQ(WriteFile(file, "new"), "");
    EXPECT_EQ(ModeOf(file), mode);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  EXPECT_EQ(WriteFile(dir.path() / "fresh.scn", "new"), "");
  EXPECT_EQ(ModeOf(dir.path() / "fresh.scn"), 0666 & ~mask);
}

TEST(FileWriter, WritesThroughSymbolicLinksAndKeepsThem) {
  TempDir dir;
  fs::create_directory(dir.path() / "real");
  const auto target = dir.Write("real/target.scn", "old");
  fs::create_symlink("real/target.scn", dir.path() / "link.scn");
  fs::create_symlink("link.scn", dir.path() / "link2.scn");
  EXPECT_EQ(WriteFile(dir.path() / "link2.scn", "new"), "");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link.scn"));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link2.scn"));
  EXPECT_EQ(testsupport::ReadFile(target), "new");
  EXPECT_EQ(Names(dir.path() / "real"), std::vector<std::string>{"target.scn"});
  // A link to a file yet to be made makes it.
  fs::create_symlink("real/later.scn", dir.path() / "dangling.scn");
  EXPECT_EQ(WriteFile(dir.path() / "dangling.scn", "made"), "");
  EXPECT_EQ(testsupport::ReadFile(dir.path() / "real" / "later.scn"), "made");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "dangling.scn"));
  // A loop of links is refused.
  fs::create_symlink("loop2", dir.path() / "loop1");
  fs::create_symlink("loop1", dir.path() / "loop2");
  EXPECT_EQ(WriteFile(dir.path() / "loop1", "x"), "Too many levels of symbolic links");
}

TEST(FileWriter, RefusesSpecialFilesAndLeavesThemAsTheyAre) {
  TempDir dir;
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(WriteFile(fifo, "x"), "not a regular file but a FIFO");
  EXPECT_TRUE(fs::is_fifo(fifo));
  fs::create_symlink("fifo", dir.path() / "to-fifo");
  EXPECT_EQ(WriteFile(dir.path() / "to-fifo", "x"), "not a regular file but a FIFO");
  // A device node of our own (the null device's numbers), where the system lets us make one.
  const auto device = dir.path() / "device";
  if (::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    EXPECT_EQ(WriteFile(device, "x"), "not a regular file but a character device");
    EXPECT_TRUE(fs::is_character_file(device));
  }
}

// Runs `body` in a child process and returns its exit status, or 128 + the signal that ended it.
template <typename Body>
int InChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A process that may write no file beyond 4 KiB: a bigger save fails partway through.
void LimitFileSize(bool killed) {
  ::signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
  const rlimit limit{4096, 4096};
  ::setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(FileWriter, AFailedWriteKeepsTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  const auto file = dir.Write("a.scn", "old");
  const int status = InChild([&] {
    LimitFileSize(false);
    return WriteFile(file, std::string(1 << 20, 'x')) == "File too large" ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(testsupport::ReadFile(file), "old");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"a.scn"});
}

TEST(FileWriter, ASaveKilledPartwayLeavesTheOldFileAndNothingThatOutlivesTheNextSave) {
  TempDir dir;
  const auto file = dir.Write("a.scn", "old");
  const int status = InChild([&] {
    LimitFileSize(true);
    (void)WriteFile(file, std::string(1 << 20, 'x'));
    return 0;
  });
  EXPECT_EQ(status, 128 + SIGXFSZ);
  EXPECT_EQ(testsupport::ReadFile(file), "old");
  // Where the system has unnamed temporary files nothing is left at all; elsewhere the next
  // save into the folder removes what the killed one left.
  EXPECT_EQ(WriteFile(dir.path() / "b.scn", "b"), "");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"a.scn", "b.scn"}));
}

// Nothing but a regular file is read: a device may never end, and a FIFO without a writer
// would make the read wait for ever (nothing here writes to it).
TEST(FileReader, RefusesDevicesAndFifosWithoutWaiting) {
  std::string bytes;
  EXPECT_EQ(ReadFile("/dev/zero", 1 << 20, bytes), "not a regular file but a character device");
  TempDir dir;
  const auto fifo = dir.path() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  EXPECT_EQ(ReadFile(fifo, 100, bytes), "not a regular file but a FIFO");
  fs::create_symlink("fifo", dir.path() / "to-fifo");
  EXPECT_EQ(ReadTextFile(dir.path() / "to-fifo", 100, bytes), "not a regular file but a FIFO");
  EXPECT_EQ(bytes, "");
}

TEST(ScratchFolders, ThoseOfProcessesThatNoLongerRunGoWithTheNextOne) {
  std::error_code ec;
  const fs::path base = fs::temp_directory_path();
  // 999999999 is above every system's process ids; the other names are not scratch folders.
  const std::vector<std::string> stale = {"hostsim-libraries-999999999-7"},
                                 kept = {"hostsim-libraries-999999999-x", "other-999999999-7"};
  for (const std::string& name : stale) fs::create_directories(base / name / "inside");
  for (const std::string& name : kept) fs::create_directories(base / name);
  std::string path;
  {
    const ScratchFolder folder("hostsim-test");
    ASSERT_FALSE(folder.path().empty()) << folder.error();
    path = folder.path().string();
    for (const std::string& name : stale) EXPECT_FALSE(fs::exists(base / name)) << name;
    // Its own folder is left to it, and a crash report's removal takes it too.
    RemoveScratchFolders();
    EXPECT_FALSE(fs::exists(folder.path()));
  }
  for (const std::string& name : kept) {
    EXPECT_TRUE(fs::exists(base / name)) << name;
    fs::remove_all(base / name, ec);
  }
}

#endif

}  // namespace
