# kaz_test(NAME SOURCES... LIBS ... [TIMEOUT s] [SERIAL]): one GoogleTest program, registered
# with CTest. SERIAL runs its tests alone: for tests that measure timing against real
# clocks, which other tests running beside them would disturb.
# Every test gets a prefix of its own through KAZ_PREFIX, set per process by the fixture
# library (tests/support), so nothing here touches the user's real prefix.
function(kaz_test name)
  cmake_parse_arguments(T "SERIAL" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest kaz_test_main)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_SERIAL)
    list(APPEND props RUN_SERIAL TRUE)
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
endfunction()
