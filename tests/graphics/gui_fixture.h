// Folders for the GUI tests: the user folder of the test program and a data folder that has the three fonts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "system/file.h"
#include "test_support.h"
#include "utility/fixed_string.h"

// The build's data folder when it already holds the fonts; otherwise a temporary one whose
// fonts are the system's DejaVu faces, so the GUI tests do not wait for the data rules.
inline std::string GuiDataFolder() {
  FixedString data;
  if (DataFolderResolve(&data) && std::filesystem::exists(std::string(data.c_str()) + "/data/fonts/mono_system.ttf") &&
      std::filesystem::exists(std::string(data.c_str()) + "/data/fonts/sans_regular.ttf") &&
      std::filesystem::exists(std::string(data.c_str()) + "/data/fonts/sans_bold.ttf"))
    return data.c_str();
  static std::string made;
  if (!made.empty()) return made;
  made = TestTempFolder("guidata");
  std::filesystem::create_directories(made + "/data/fonts");
  const char* system = "/usr/share/fonts/truetype/dejavu/";
  std::error_code ec;
  std::filesystem::copy_file(std::string(system) + "DejaVuSansMono.ttf", made + "/data/fonts/mono_system.ttf", ec);
  std::filesystem::copy_file(std::string(system) + "DejaVuSans.ttf", made + "/data/fonts/sans_regular.ttf", ec);
  std::filesystem::copy_file(std::string(system) + "DejaVuSans-Bold.ttf", made + "/data/fonts/sans_bold.ttf", ec);
  // Shaders come from the build's data folder when it has them.
  if (DataFolderResolve(&data)) {
    std::filesystem::create_directories(made + "/data/shaders");
    std::filesystem::copy(std::string(data.c_str()) + "/data/shaders", made + "/data/shaders",
                          std::filesystem::copy_options::skip_existing, ec);
  }
  return made;
}

// Points the file layer at the test user folder and a data folder with fonts.
inline void UseGuiFolders() {
  FixedString user;
  ASSERT_TRUE(UserFolderResolve(&user));
  std::string data = GuiDataFolder();
  ASSERT_TRUE(FoldersSet(user.c_str(), data.c_str()));
}
