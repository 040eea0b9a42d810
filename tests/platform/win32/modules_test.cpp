// Modules: libraries found beside the program by their ".dll" names, symbols, bad handles.
// The test modules are built by modules/CMakeLists.txt next to this test program.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "support/TestSupport.h"
#include "win32/Win32.h"

namespace {

std::string Real(const std::string& path) {
  char* r = realpath(path.c_str(), nullptr);
  std::string s = r ? r : "";
  std::free(r);
  return s;
}

// Loads a module and frees it when the scope ends.
struct Loaded {
  explicit Loaded(const std::string& name)
      : handle(LoadLibraryA(name.c_str())), error(GetLastError()) {}
  ~Loaded() {
    if (handle) FreeLibrary(handle);
  }
  HMODULE handle;
  DWORD error;
};

template <class F>
F Bind(HMODULE module, const char* name) {
  return reinterpret_cast<F>(GetProcAddress(module, name));
}

}  // namespace

TEST(Modules, LoadsBesideTheProgramWithoutRegardToCase) {
  Loaded mod("kaztestmod.dll");
  ASSERT_NE(mod.handle, nullptr) << win32::LastLoadLibraryError();
  auto answer = Bind<int (*)()>(mod.handle, "kaztestmod_answer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 42);
  auto value = reinterpret_cast<int*>(GetProcAddress(mod.handle, "kaztestmod_value"));
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(*value, 7);

  // The same module under other spellings is the same handle, counted once more.
  Loaded upper("KAZTESTMOD.DLL");
  EXPECT_EQ(upper.handle, mod.handle);
  Loaded bare("KazTestMod");  // no extension: ".dll" is added
  EXPECT_EQ(bare.handle, mod.handle);
  Loaded dotted("kaztestmod.dll.");  // a trailing dot means "as it is"
  EXPECT_EQ(dotted.handle, mod.handle);
}

TEST(Modules, LoadsFromTheProgramsLibFolder) {
  Loaded lib("kaztestlib.dll");
  ASSERT_NE(lib.handle, nullptr) << win32::LastLoadLibraryError();
  auto answer = Bind<int (*)()>(lib.handle, "kaztestlib_answer");
  ASSERT_NE(answer, nullptr);
  EXPECT_EQ(answer(), 1234);
}

TEST(Modules, LoadsByWindowsOrLinuxPath) {
  const std::string file = kaztest::ProgramDir() + "/kaztestmod.dll";
  Loaded byLinux(file);
  ASSERT_NE(byLinux.handle, nullptr) << win32::LastLoadLibraryError();
  const std::string win = win32::LinuxToWindowsPath(file);
  ASSERT_FALSE(win.empty());
  Loaded byWindows(win);
  EXPECT_EQ(byWindows.handle, byLinux.handle);

  char buf[4096];
  DWORD n = GetModuleFileNameA(byLinux.handle, buf, sizeof buf);
  ASSERT_GT(n, 0u);
  std::string back;
  DWORD error = 0;
  ASSERT_TRUE(win32::WindowsToLinuxPath(buf, back, error));
  EXPECT_EQ(Real(back), Real(file));
}

TEST(Modules, MissingModulesAreNotSearchedForElsewhere) {
  Loaded missing("nosuchmodule.dll");
  EXPECT_EQ(missing.handle, nullptr);
  EXPECT_EQ(missing.error, ERROR_MOD_NOT_FOUND);
  // A system library is on the system's search path, which is never searched.
  Loaded libc("libc.so.6");
  EXPECT_EQ(libc.handle, nullptr);
  EXPECT_EQ(libc.error, ERROR_MOD_NOT_FOUND);
  Loaded libm("libm");
  EXPECT_EQ(libm.handle, nullptr);
  Loaded unmapped("Q:\\nowhere\\xaudio.dll");
  EXPECT_EQ(unmapped.handle, nullptr);
  EXPECT_EQ(unmapped.error, ERROR_MOD_NOT_FOUND);
  EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(Modules, FilesThatAreNotLoadable) {
  Loaded bad("kaztestbad.dll");
  EXPECT_EQ(bad.handle, nullptr);
  EXPECT_EQ(bad.error, ERROR_BAD_FORMAT);
  EXPECT_FALSE(win32::LastLoadLibraryError().empty());

  const std::string garbage = kaztest::MakeTempDir("modules") + "/garbage.dll";
  kaztest::WriteFile(garbage, std::string("\x7f"
                                          "ELF but not really",
                                          19));
  Loaded byPath(garbage);
  EXPECT_EQ(byPath.handle, nullptr);
  EXPECT_EQ(byPath.error, ERROR_BAD_FORMAT);

  Loaded undefined("kaztestundef.dll");
  EXPECT_EQ(undefined.handle, nullptr);
  EXPECT_EQ(undefined.error, ERROR_PROC_NOT_FOUND);
}

TEST(Modules, SymbolsOnlyOfTheModuleItself) {
  Loaded mod("kaztestmod.dll");
  ASSERT_NE(mod.handle, nullptr);
  EXPECT_EQ(GetProcAddress(mod.handle, "kaztestmod_missing"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  // Defined by a library the module uses, not by the module: not the module's export.
  EXPECT_EQ(GetProcAddress(mod.handle, "malloc"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
  EXPECT_EQ(GetProcAddress(mod.handle, "SetLastError"), nullptr);
  // Ordinals are not supported, and never dereferenced.
  EXPECT_EQ(GetProcAddress(mod.handle, reinterpret_cast<LPCSTR>(3)), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
}

TEST(Modules, BadHandlesAreErrorCodes) {
  EXPECT_EQ(GetProcAddress(nullptr, "kaztestmod_answer"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetProcAddress(reinterpret_cast<HMODULE>(0x12345678), "x"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(0x12345678)));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(GetProcAddress(event, "x"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(event));
  EXPECT_TRUE(CloseHandle(event));

  HMODULE mod = LoadLibraryA("kaztestmod.dll");
  ASSERT_NE(mod, nullptr);
  EXPECT_FALSE(CloseHandle(mod));  // modules are freed by FreeLibrary only
  EXPECT_EQ(WaitForSingleObject(mod, 0), WAIT_FAILED);
  EXPECT_TRUE(FreeLibrary(mod));
  // Freed: the handle is gone for good, even when the file is loaded again.
  EXPECT_EQ(GetProcAddress(mod, "kaztestmod_answer"), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(FreeLibrary(mod));
  HMODULE again = LoadLibraryA("kaztestmod.dll");
  ASSERT_NE(again, nullptr);
  EXPECT_NE(again, mod);
  EXPECT_TRUE(FreeLibrary(again));
}

TEST(Modules, ALoadedModuleSharesTheProgramsPlatformLibrary) {
  Loaded mod("kaztestmod.dll");
  ASSERT_NE(mod.handle, nullptr);
  auto setError = Bind<void (*)(DWORD)>(mod.handle, "kaztestmod_set_last_error");
  ASSERT_NE(setError, nullptr);
  SetLastError(0);
  setError(4321);
  EXPECT_EQ(GetLastError(), 4321u);
}
