// A module for modules_test that lives in the program's "lib" folder.
extern "C" __attribute__((visibility("default"))) int kaztestlib_answer() {
  return 1234;
}
