# qlf_add_gtest(<target> SOURCES <files...> LIBS <libs...> [ENVIRONMENT <VAR=value...>]
#               [ENVIRONMENT_MODIFICATION <VAR=op:value>])
# A GoogleTest program whose cases are registered one by one with ctest.
# ENVIRONMENT_MODIFICATION is the one entry of the cases' ctest property of that
# name, e.g. ASAN_OPTIONS=string_append::flag=0 on top of the caller's options.
function(qlf_add_gtest target)
  cmake_parse_arguments(ARG "" "ENVIRONMENT_MODIFICATION" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock)
  # The variables go through `cmake -E env` around the program (discovery
  # included): gtest_discover_tests flattens its PROPERTIES into one list, so an
  # ENVIRONMENT property there would lose all but the first variable.
  if(ARG_ENVIRONMENT)
    set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR
                 ${CMAKE_COMMAND} -E env ${ARG_ENVIRONMENT})
  endif()
  set(properties TIMEOUT 300)
  if(ARG_ENVIRONMENT_MODIFICATION)
    list(APPEND properties ENVIRONMENT_MODIFICATION ${ARG_ENVIRONMENT_MODIFICATION})
  endif()
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ${properties})
endfunction()

# qlf_add_fuzz(<name> SOURCES <files...> LIBS <libs...>)
# A fuzz target defines LLVMFuzzerTestOneInput. With QLF_FUZZ it is linked as a
# libFuzzer program; otherwise it is linked with a replay driver. Either way ctest
# replays every file of the corpus/ folder beside the target's CMakeLists.txt.
function(qlf_add_fuzz name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  set(target fuzz_${name})
  set(corpus ${CMAKE_CURRENT_SOURCE_DIR}/corpus)
  if(QLF_FUZZ)
    add_executable(${target} ${ARG_SOURCES})
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
    target_link_options(${target} PRIVATE -fsanitize=fuzzer)
    add_test(NAME fuzz.${name} COMMAND ${target} -runs=0 ${corpus})
  else()
    add_executable(${target} ${ARG_SOURCES} ${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp)
    add_test(NAME fuzz.${name} COMMAND ${target} ${corpus})
  endif()
  target_link_libraries(${target} PRIVATE ${ARG_LIBS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()
