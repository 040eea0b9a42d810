# kaz_test(NAME SOURCES... LIBS ...): one GoogleTest program, registered with CTest.
# Every test gets a prefix of its own through KAZ_PREFIX, set per process by the fixture
# library (tests/support), so nothing here touches the user's real prefix.
function(kaz_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest kaz_test_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
endfunction()
