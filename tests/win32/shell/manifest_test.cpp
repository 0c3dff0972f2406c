// The application manifest (linked into this test program as into the
// program) selects version 6 of the common controls: Wine then loads
// comctl32 from its side-by-side store instead of system32. Wine's version
// number is 5.81 in both cases, so the module's path is what tells.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <string>

TEST(ApplicationManifest, SelectsCommonControlsVersionSixFromTheSideBySideStore) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
  ASSERT_TRUE(InitCommonControlsEx(&controls));
  const HMODULE comctl = GetModuleHandleA("comctl32.dll");
  ASSERT_NE(nullptr, comctl);
  char path[MAX_PATH] = {};
  ASSERT_GT(GetModuleFileNameA(comctl, path, MAX_PATH), 0u);
  std::string lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  EXPECT_NE(std::string::npos, lower.find("winsxs")) << path;
  EXPECT_NE(std::string::npos, lower.find("common-controls_6595b64144ccf1df_6.")) << path;
}
