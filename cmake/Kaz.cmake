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

# kaz_fuzz(NAME [WITH_WIN32] SOURCES... [INCLUDES dirs...] [FLAGS clang args...]
#          [DEPENDS files, targets...] [SEEDS files or folders...]): a libFuzzer program
# <build>/fuzz/NAME, made with clang whatever the build's compiler, with the address and
# undefined-behaviour sanitizers; WITH_WIN32 builds the whole platform layer into it.
# `cmake --build <build> --target fuzz` makes every one; scripts/fuzz runs them on their
# seeds, which <build>/fuzz/NAME.seeds lists, one a line.
find_program(KAZ_CLANGXX clang++)
if(KAZ_CLANGXX)
  add_custom_target(fuzz)
endif()
function(kaz_fuzz name)
  if(NOT KAZ_CLANGXX)
    return()
  endif()
  cmake_parse_arguments(F "WITH_WIN32" "" "SOURCES;INCLUDES;FLAGS;DEPENDS;SEEDS" ${ARGN})
  if(F_WITH_WIN32)
    list(APPEND F_SOURCES ${KAZ_WIN32_SOURCES})
    list(APPEND F_INCLUDES ${CMAKE_SOURCE_DIR}/platform ${CMAKE_SOURCE_DIR}/outside)
    list(APPEND F_FLAGS ${KAZ_WIN32_LIBS})
  endif()
  set(out ${CMAKE_BINARY_DIR}/fuzz/${name})
  list(TRANSFORM F_INCLUDES PREPEND -I)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fuzz
    COMMAND ${KAZ_CLANGXX} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined
            ${F_INCLUDES} ${F_SOURCES} ${F_FLAGS} -o ${out}
    DEPENDS ${F_SOURCES} ${F_DEPENDS}
    COMMENT "libFuzzer target ${name} (clang)"
    VERBATIM)
  add_custom_target(${name} DEPENDS ${out})
  add_dependencies(fuzz ${name})
  list(JOIN F_SEEDS "\n" seeds)
  file(WRITE ${CMAKE_BINARY_DIR}/fuzz/${name}.seeds "${seeds}\n")
endfunction()
