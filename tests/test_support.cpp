// Test support: assertion recording, a temporary user folder per test program, and the built data folder.
#include "test_support.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "utility/log.h"
#ifndef QUILLOMAR_TESTS_WITHOUT_PLATFORM
#include "system/dialog.h"
#endif

namespace {
ExpectAsserts* current = nullptr;
std::mutex recordLock;
std::vector<std::string> tempFolders;
}  // namespace

ExpectAsserts::ExpectAsserts() {
  std::lock_guard<std::mutex> guard(recordLock);
  m_previous = current;
  current = this;
}

ExpectAsserts::~ExpectAsserts() {
  std::lock_guard<std::mutex> guard(recordLock);
  current = m_previous;
}

bool ExpectAsserts::Saw(const std::string& expression) const {
  for (const std::string& s : m_seen)
    if (s == expression) return true;
  return false;
}

void RecordAssert(const char* expression, const char* file, int line) {
  std::lock_guard<std::mutex> guard(recordLock);
  if (current) {
    current->m_seen.push_back(expression);
    return;
  }
  ADD_FAILURE() << "unexpected assertion '" << expression << "' at " << file << ":" << line;
}

std::string TestTempFolder(const char* tag) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / (std::string("quillomar_") + tag + "_XXXXXX")).string();
  char* made = mkdtemp(pattern.data());
  if (!made) {
    ADD_FAILURE() << "could not make a temporary folder";
    return std::string();
  }
  tempFolders.push_back(made);
  return made;
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  assertHook = RecordAssert;
#ifndef QUILLOMAR_TESTS_WITHOUT_PLATFORM
  // A test never waits for someone to close a dialog.
  dialogHook = DialogLogOnly;
#endif
  // Tests never touch the real user folder.
  std::string user = TestTempFolder("user");
  setenv("QUILLOMAR_USER_DIR", user.c_str(), 1);
  int result = RUN_ALL_TESTS();
  for (const std::string& folder : tempFolders) {
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
  }
  return result;
}

std::string DataDir(const char* fallback) {
  const char* dir = getenv("QUILLOMAR_DATA_DIR");
  return dir && *dir ? std::string(dir) : std::string(fallback);
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
