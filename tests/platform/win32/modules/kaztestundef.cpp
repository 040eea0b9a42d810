// A module for modules_test that needs a function no library provides, so it cannot be
// loaded with every reference bound.
extern "C" int kaz_function_that_nothing_defines();

extern "C" __attribute__((visibility("default"))) int kaztestundef_call() {
  return kaz_function_that_nothing_defines();
}
