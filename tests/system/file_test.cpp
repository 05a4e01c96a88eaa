// Files and folders: the "no file" handle, exclusive opens, short reads, path limits, folder rules.
#include "system/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "log_lines.h"
#include "test_support.h"

namespace {

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Each test gets fresh user and data folders.
class File : public testing::Test {
 protected:
  void SetUp() override {
    m_user = TestTempFolder("fileuser");
    m_data = TestTempFolder("filedata");
    ASSERT_TRUE(FoldersSet(m_user.c_str(), m_data.c_str()));
  }
  std::string m_user, m_data;
};

// Sets or unsets environment variables for one test and puts the old values back.
class EnvKeep {
 public:
  explicit EnvKeep(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      const char* value = getenv(name);
      m_saved.push_back({name, value != nullptr, value ? value : ""});
    }
  }
  ~EnvKeep() {
    for (const Saved& s : m_saved) {
      if (s.set)
        setenv(s.name.c_str(), s.value.c_str(), 1);
      else
        unsetenv(s.name.c_str());
    }
  }

 private:
  struct Saved {
    std::string name;
    bool set;
    std::string value;
  };
  std::vector<Saved> m_saved;
};

}  // namespace

TEST_F(File, NoFileHandleIsIgnoredSilently) {
  LogLines log;
  char buffer[16] = {};
  EXPECT_EQ(FileRead(0, buffer, sizeof(buffer)), 0u);
  EXPECT_EQ(FileWrite(0, "abc", 3), 0u);
  EXPECT_EQ(FileSize(0), 0u);
  FileClose(0);
  // Chaining on a failed open is the intended use: no lines for it.
  FileHandle missing = FileOpenRead("missing.dat", true);
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(FileRead(missing, buffer, sizeof(buffer)), 0u);
  FileClose(missing);
  EXPECT_FALSE(FileExists("missing.dat", false));
  EXPECT_EQ(log.Count(), 0);

  // Callers' mistakes are refused with a line each, never a crash.
  EXPECT_EQ(FileOpen(nullptr, true, FA_READ, FC_OPEN_EXISTING), 0u);
  EXPECT_EQ(FileOpen("x.dat", true, 0, FC_OPEN_EXISTING), 0u);
  EXPECT_EQ(FileOpen("x.dat", true, FA_WRITE, 9), 0u);
  FileHandle file = FileOpenWrite("x.dat", true);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(FileWrite(file, nullptr, 4), 0u);
  EXPECT_EQ(FileRead(file, nullptr, 4), 0u);
  FileClose(file);
  EXPECT_EQ(log.Count(), 5);
}

TEST_F(File, OpenWithoutStandardInputNeverGivesZero) {
  // Descriptor 0 is free when the game is started without standard input; the open that
  // gets it must still give a real handle. Closing descriptor 0 in a child keeps the test
  // runner's own standard input intact.
  fflush(stdout);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(0);
    int code = 0;
    FileHandle file = FileOpenWrite("nostdin.dat", true);
    if (file == 0)
      code = 1;
    else if (fcntl(0, F_GETFD) == -1)
      code = 2;  // descriptor 0 was not the one used: the check proves nothing
    else if (FileWrite(file, "abc", 3) != 3)
      code = 3;
    FileClose(file);
    char back[4] = {};
    file = FileOpenRead("nostdin.dat", true);
    if (!code && (file == 0 || FileRead(file, back, 4) != 3 || memcmp(back, "abc", 3) != 0)) code = 4;
    FileClose(file);
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1 handle 0, 2 descriptor 0 unused, 3 write, 4 read back";
}

TEST_F(File, ReadWriteSizeRemoveRoundTrips) {
  LogLines log;
  char block[1000];
  for (int i = 0; i < 1000; i++) block[i] = static_cast<char>(i * 7);
  FileHandle file = FileOpenWrite("autosave.dat", true);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(FileWrite(file, block, sizeof(block)), sizeof(block));
  EXPECT_EQ(FileSize(file), 1000u);
  FileClose(file);
  EXPECT_TRUE(FileExists("autosave.dat", true));
  EXPECT_FALSE(FileExists("autosave.dat", false));  // the data folder is another place

  // Asking for more than the file holds gives what is there, then nothing.
  char back[1500] = {};
  file = FileOpenRead("autosave.dat", true);
  EXPECT_EQ(FileSize(file), 1000u);
  EXPECT_EQ(FileRead(file, back, sizeof(back)), 1000u);
  EXPECT_EQ(memcmp(back, block, 1000), 0);
  EXPECT_EQ(FileRead(file, back, sizeof(back)), 0u);
  // A read handle cannot write.
  EXPECT_EQ(FileWrite(file, block, 10), 0u);
  FileClose(file);

  // Create-always truncates; open-always and create-new keep what is there.
  file = FileOpen("autosave.dat", true, FA_READ | FA_WRITE, FC_OPEN_ALWAYS);
  EXPECT_EQ(FileSize(file), 1000u);
  FileClose(file);
  EXPECT_EQ(FileOpen("autosave.dat", true, FA_WRITE, FC_CREATE_NEW), 0u);
  file = FileOpenWrite("autosave.dat", true);
  EXPECT_EQ(FileSize(file), 0u);
  EXPECT_EQ(FileWrite(file, block, 10), 10u);
  FileClose(file);
  file = FileOpenRead("autosave.dat", true);
  EXPECT_EQ(FileSize(file), 10u);
  FileClose(file);

  FileRemove("autosave.dat", true);
  EXPECT_FALSE(FileExists("autosave.dat", true));
  int before = log.Count();
  FileRemove("autosave.dat", true);  // already gone: silent
  EXPECT_EQ(log.Count(), before);

  // Backslashes in a name are folder separators; a folder is not a file.
  ASSERT_EQ(mkdir((m_user + "/sub").c_str(), 0700), 0);
  file = FileOpenWrite("sub\\inner.dat", true);
  EXPECT_NE(file, 0u);
  FileClose(file);
  EXPECT_TRUE(std::filesystem::exists(m_user + "/sub/inner.dat"));
  EXPECT_EQ(FileOpenRead("sub", true), 0u);
  EXPECT_FALSE(FileExists("sub", true));
}

TEST_F(File, FileHeldOpenForWritingIsNotShared) {
  FileHandle writer = FileOpenWrite("settings.dat", true);
  ASSERT_NE(writer, 0u);
  EXPECT_EQ(FileWrite(writer, "Debug 1\n", 8), 8u);
  EXPECT_FALSE(FileExists("settings.dat", true));
  EXPECT_EQ(FileOpenRead("settings.dat", true), 0u);
  // A second writer is refused and must not empty the file on its way out.
  EXPECT_EQ(FileOpenWrite("settings.dat", true), 0u);
  EXPECT_EQ(FileSize(writer), 8u);
  FileClose(writer);
  EXPECT_TRUE(FileExists("settings.dat", true));
  FileHandle reader = FileOpenRead("settings.dat", true);
  EXPECT_NE(reader, 0u);
  EXPECT_EQ(FileSize(reader), 8u);
  // Readers share (several processes read one planet dump), but keep writers out.
  FileHandle second = FileOpenRead("settings.dat", true);
  EXPECT_NE(second, 0u);
  EXPECT_EQ(FileOpenWrite("settings.dat", true), 0u);
  FileClose(second);
  FileClose(reader);
  reader = FileOpenRead("settings.dat", true);
  EXPECT_EQ(FileSize(reader), 8u) << "a refused writer must not empty the file";
  FileClose(reader);
}

TEST_F(File, AFifoOrAFolderIsRefusedWithoutWaiting) {
  // Opening a FIFO waits for the other end; the open must not wait before it can tell the
  // name is no file. Each open runs in a child process that a hang would keep from ending.
  ASSERT_EQ(mkfifo((m_user + "/pipe.dat").c_str(), 0600), 0);
  std::filesystem::create_directory(m_user + "/folder.dat");
  for (const char* name : {"pipe.dat", "folder.dat"}) {
    SCOPED_TRACE(name);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      alarm(5);  // a blocked open ends the child with SIGALRM
      const bool refused = !FileOpenRead(name, true) && !FileOpenWrite(name, true) &&
                           !FileOpen(name, true, FA_READ | FA_WRITE, FC_OPEN_ALWAYS) &&
                           !FileStreamOpenWrite((std::string(UserFolderGet()) + "/" + name).c_str());
      _exit(refused ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
    // There, though it cannot be opened.
    EXPECT_TRUE(FilePresent(name, true));
    EXPECT_FALSE(FileExists(name, true));
  }
  EXPECT_FALSE(FilePresent("missing.dat", true));
  // A regular file still opens for writing through the stream, emptied first.
  const std::string path = m_user + "/plain.dat";
  FILE* f = FileStreamOpenWrite(path.c_str());
  ASSERT_NE(f, nullptr);
  fputs("abc", f);
  fclose(f);
  f = FileStreamOpenWrite(path.c_str());
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

// A symbolic link at the name of a file the game writes would send the bytes outside the folder.
// Every writer either refuses the name or replaces the link itself; the file it points to stays.
TEST_F(File, WritesNeverGoThroughALinkAtTheFinalName) {
  const std::string outside = m_data + "/outside.txt";
  { std::ofstream(outside) << "keep me"; }
  auto outsideText = [&] {
    std::ifstream in(outside);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  };
  struct Writer {
    const char* what;
    bool replaces;  // true: the name becomes a file of its own; false: the write is refused
    std::function<bool(const char*)> write;
  };
  const std::string user = m_user;
  const Writer writers[] = {
      {"FileOpenWrite", false,
       [](const char* name) {
         FileHandle f = FileOpenWrite(name, true);
         const bool wrote = FileWrite(f, "x", 1) == 1;
         FileClose(f);
         return wrote;
       }},
      {"FileOpen read-write", false,
       [](const char* name) {
         FileHandle f = FileOpen(name, true, FA_READ | FA_WRITE, FC_OPEN_ALWAYS);
         FileClose(f);
         return f != 0;
       }},
      {"FileStreamOpenWrite", false,
       [user](const char* name) {
         FILE* f = FileStreamOpenWrite((user + "/" + name).c_str());
         if (f) fclose(f);
         return f != nullptr;
       }},
      {"FileWriteAtomic", true, [](const char* name) { return FileWriteAtomic(name, true, "new", 3); }},
      {"FileCreateTemporary", true,
       [](const char* name) {
         FileHandle f = FileCreateTemporary(name, true);
         FileClose(f);
         return f != 0;
       }},
  };
  for (const Writer& w : writers) {
    SCOPED_TRACE(w.what);
    std::filesystem::remove(m_user + "/link.dat");
    std::filesystem::create_symlink(outside, m_user + "/link.dat");
    EXPECT_EQ(w.write("link.dat"), w.replaces);
    EXPECT_EQ(outsideText(), "keep me");
    EXPECT_EQ(std::filesystem::is_symlink(m_user + "/link.dat"), !w.replaces);
  }
  EXPECT_FALSE(std::filesystem::exists(m_user + "/link.dat.tmp"));
}

// Whole-file replacement as the save does it: a stale temporary file is cleared first, a failure
// keeps the old file, and a folder under the name is never deleted.
TEST_F(File, AtomicWritesKeepTheOldFileAndFoldersAlone) {
  ASSERT_TRUE(FileWriteAtomic("settings.dat", true, "one", 4));
  {
    std::ofstream(m_user + "/settings.dat.tmp") << std::string(5000, 'x');  // left by a kill
  }
  ASSERT_TRUE(FileWriteAtomic("settings.dat", true, "two", 4));
  EXPECT_FALSE(std::filesystem::exists(m_user + "/settings.dat.tmp"));
  EXPECT_EQ(std::filesystem::file_size(m_user + "/settings.dat"), 4u);
  // A folder at the temporary name: refused, the old file kept.
  std::filesystem::create_directory(m_user + "/settings.dat.tmp");
  EXPECT_FALSE(FileWriteAtomic("settings.dat", true, "three", 6));
  EXPECT_EQ(std::filesystem::file_size(m_user + "/settings.dat"), 4u);
  // A folder at the name itself: the write fails and neither removal nor the write takes it.
  std::filesystem::create_directory(m_user + "/folder.dat");
  EXPECT_FALSE(FileWriteAtomic("folder.dat", true, "x", 1));
  FileRemove("folder.dat", true);
  EXPECT_TRUE(std::filesystem::is_directory(m_user + "/folder.dat"));
  EXPECT_TRUE(FolderPresent("folder.dat", true));
  EXPECT_FALSE(FolderPresent("settings.dat", true));
  // The test hook fails an open as missing permission would, for a process running as root.
  fileOpenRefuseHook = [](const char*, int) { return true; };
  EXPECT_EQ(FileOpenRead("settings.dat", true), 0u);
  EXPECT_TRUE(FilePresent("settings.dat", true));
  fileOpenRefuseHook = nullptr;
  EXPECT_TRUE(FileExists("settings.dat", true));
}

TEST_F(File, PathsLongerThan254AreRefused) {
  LogLines log;
  // "<folder>/<name>" of exactly 254 characters still fits.
  size_t room = 254 - m_user.size() - 1;
  std::string fits(room, 'a');
  FixedString path;
  ASSERT_TRUE(FilePathMake(&path, fits.c_str(), true));
  EXPECT_EQ(path.Length(), 254);
  FileHandle file = FileOpenWrite(fits.c_str(), true);
  EXPECT_NE(file, 0u);
  FileClose(file);
  EXPECT_EQ(log.Count(), 0);

  // One more character would be cut to the name above; that file must not be touched.
  std::string longer = fits + "x";
  file = FileOpenWrite(fits.c_str(), true);
  EXPECT_EQ(FileWrite(file, "keep", 4), 4u);
  FileClose(file);
  EXPECT_EQ(FileOpenWrite(longer.c_str(), true), 0u);
  EXPECT_FALSE(FilePathMake(&path, longer.c_str(), true));
  EXPECT_TRUE(path.Empty());
  FileRemove(longer.c_str(), true);
  file = FileOpenRead(fits.c_str(), true);
  EXPECT_EQ(FileSize(file), 4u);
  FileClose(file);
  EXPECT_GE(log.Count(), 3);

  // A folder that does not fit is refused whole and the old folders stay.
  std::string deep = "/" + std::string(260, 'd');
  EXPECT_FALSE(FoldersSet(deep.c_str(), "."));
  EXPECT_EQ(std::string(UserFolderGet()), m_user);
  // Trailing separators are dropped so that paths never hold "//".
  EXPECT_TRUE(FoldersSet((m_user + "//").c_str(), "./"));
  EXPECT_EQ(std::string(UserFolderGet()), m_user);
  EXPECT_STREQ(DataFolderGet(), ".");
}

TEST_F(File, EmptyUserFolderIsRefused) {
  LogLines log;
  bool atRootBefore = std::filesystem::exists("/autosave.dat");
  UserFolderClear();
  EXPECT_STREQ(UserFolderGet(), "");
  // After shut-down clears the folder, a late save must not land at the file-system root.
  EXPECT_EQ(FileOpenWrite("autosave.dat", true), 0u);
  EXPECT_FALSE(FileExists("autosave.dat", true));
  EXPECT_EQ(std::filesystem::exists("/autosave.dat"), atRootBefore);
  EXPECT_TRUE(log.Has("The user folder is not set"));
  // The data folder still works.
  FileHandle file = FileOpenWrite("planet.txt", false);
  EXPECT_NE(file, 0u);
  FileClose(file);
  EXPECT_TRUE(std::filesystem::exists(m_data + "/planet.txt"));
}

TEST(Folders, UserFolderFollowsTheEnvironmentInOrder) {
  EnvKeep keep({"QUILLOMAR_USER_DIR", "XDG_DATA_HOME", "HOME"});
  std::string root = TestTempFolder("folders");
  FixedString out;

  // The game's own variable wins, is made with its parents, and loses trailing separators.
  setenv("QUILLOMAR_USER_DIR", (root + "/own/deeper/").c_str(), 1);
  setenv("XDG_DATA_HOME", (root + "/xdg").c_str(), 1);
  setenv("HOME", (root + "/home").c_str(), 1);
  ASSERT_TRUE(UserFolderResolve(&out));
  EXPECT_EQ(std::string(out.c_str()), root + "/own/deeper");
  EXPECT_TRUE(IsFolder(root + "/own/deeper"));

  // Empty counts as unset.
  setenv("QUILLOMAR_USER_DIR", "", 1);
  ASSERT_TRUE(UserFolderResolve(&out));
  EXPECT_EQ(std::string(out.c_str()), root + "/xdg/quillomar");
  EXPECT_TRUE(IsFolder(root + "/xdg/quillomar"));

  unsetenv("QUILLOMAR_USER_DIR");
  setenv("XDG_DATA_HOME", "", 1);
  ASSERT_TRUE(UserFolderResolve(&out));
  EXPECT_EQ(std::string(out.c_str()), root + "/home/.local/share/quillomar");
  EXPECT_TRUE(IsFolder(root + "/home/.local/share/quillomar"));

  {
    // A relative XDG_DATA_HOME is ignored, as the base-directory rules require.
    LogLines log;
    setenv("XDG_DATA_HOME", "relative/data", 1);
    ASSERT_TRUE(UserFolderResolve(&out));
    EXPECT_EQ(std::string(out.c_str()), root + "/home/.local/share/quillomar");
    EXPECT_EQ(log.Count(), 1);
  }
}

TEST(Folders, UserFolderIsNeverEmpty) {
  EnvKeep keep({"QUILLOMAR_USER_DIR", "XDG_DATA_HOME", "HOME"});
  std::string root = TestTempFolder("nofolder");
  FixedString out;
  out.Set("stale");
  LogLines log;

  setenv("QUILLOMAR_USER_DIR", "", 1);
  setenv("XDG_DATA_HOME", "", 1);
  setenv("HOME", "", 1);
  EXPECT_FALSE(UserFolderResolve(&out));
  EXPECT_TRUE(out.Empty());
  unsetenv("QUILLOMAR_USER_DIR");
  unsetenv("XDG_DATA_HOME");
  unsetenv("HOME");
  EXPECT_FALSE(UserFolderResolve(&out));
  EXPECT_TRUE(out.Empty());
  EXPECT_EQ(log.Count(), 2);

  // A file where the folder should be, and a folder too long to hold, are failures too.
  FILE* blocker = fopen((root + "/file").c_str(), "w");
  ASSERT_NE(blocker, nullptr);
  fclose(blocker);
  setenv("QUILLOMAR_USER_DIR", (root + "/file").c_str(), 1);
  EXPECT_FALSE(UserFolderResolve(&out));
  EXPECT_TRUE(out.Empty());
  setenv("QUILLOMAR_USER_DIR", (root + "/" + std::string(250, 'x')).c_str(), 1);
  EXPECT_FALSE(UserFolderResolve(&out));
  setenv("QUILLOMAR_USER_DIR", "", 1);
  setenv("HOME", (root + "/" + std::string(230, 'h')).c_str(), 1);
  EXPECT_FALSE(UserFolderResolve(&out));
  EXPECT_TRUE(out.Empty());
}

TEST(Folders, DataFolderDefaultsToTheCurrentDirectory) {
  EnvKeep keep({"QUILLOMAR_DATA_DIR"});
  std::string root = TestTempFolder("data");
  FixedString out;
  unsetenv("QUILLOMAR_DATA_DIR");
  ASSERT_TRUE(DataFolderResolve(&out));
  EXPECT_STREQ(out.c_str(), ".");
  setenv("QUILLOMAR_DATA_DIR", (root + "/").c_str(), 1);
  ASSERT_TRUE(DataFolderResolve(&out));
  EXPECT_EQ(std::string(out.c_str()), root);
  LogLines log;
  setenv("QUILLOMAR_DATA_DIR", (root + "/missing").c_str(), 1);
  EXPECT_FALSE(DataFolderResolve(&out));
  EXPECT_EQ(log.Count(), 1);
}
