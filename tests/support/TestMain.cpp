// main() of every test program: each test process gets a private prefix, so tests never
// touch the user's own settings and can run side by side.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  std::string made;
  if (!std::getenv("KAZ_PREFIX")) {
    char tmpl[] = "/tmp/kaztest-XXXXXX";
    if (char* dir = mkdtemp(tmpl)) {
      made = dir;
      setenv("KAZ_PREFIX", dir, 1);
    }
  }
  int rc = RUN_ALL_TESTS();
  if (!made.empty() && !std::getenv("KAZ_KEEP_TEST_PREFIX")) {
    std::error_code ec;
    std::filesystem::remove_all(made, ec);
  }
  return rc;
}
