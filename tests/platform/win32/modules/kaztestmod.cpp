// A module for modules_test: a function, a variable, and a function that reaches the
// platform library, to show that a loaded module shares the program's one instance of it.
#include "win32/Types.h"

extern "C" {

__attribute__((visibility("default"))) int kaztestmod_answer() {
  return 42;
}

__attribute__((visibility("default"))) int kaztestmod_value = 7;

__attribute__((visibility("default"))) void kaztestmod_set_last_error(DWORD code) {
  SetLastError(code);
}
}
