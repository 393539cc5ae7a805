# Helpers shared by every folder's CMakeLists.txt.

# zt_add_test(NAME <name> SOURCES <files...> LIBS <targets...> [DEFINITIONS <macros...>]
#             [TIMEOUT <seconds>])
# One GoogleTest executable registered with CTest. Every test runs with a time-out and with SDL's
# offscreen video driver, so no test needs a display or a person. Nothing when ZT_BUILD_TESTS is
# off, and likewise for the other two helpers: so a test's settings go through the arguments, not
# through calls on a target that may not exist.
function(zt_add_test)
  if(NOT ZT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;DEFINITIONS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${T_NAME} PRIVATE ${T_DEFINITIONS})
  set_target_properties(${T_NAME} PROPERTIES ENABLE_EXPORTS ON)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "SDL_VIDEODRIVER=offscreen;ZT_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZT_BINARY_DIR=${PROJECT_BINARY_DIR}")
endfunction()

# zt_add_script_test(NAME <name> COMMAND <cmd...> [TIMEOUT <seconds>] [DEPENDS <targets...>])
# An end-to-end test driven by a script; it gets the paths of the built programs in its
# environment.
function(zt_add_script_test)
  if(NOT ZT_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_COMMAND})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT}
    ENVIRONMENT "SDL_VIDEODRIVER=offscreen;ZT_SOURCE_DIR=${PROJECT_SOURCE_DIR};ZT_BINARY_DIR=${PROJECT_BINARY_DIR};ZENTAVOR=$<TARGET_FILE:zentavor>;TRABOLIX=$<TARGET_FILE:trabolix>")
endfunction()

# zt_add_bench(NAME <name> SOURCES <files...> LIBS <targets...>)
function(zt_add_bench)
  if(NOT ZT_BUILD_BENCHMARKS)
    return()
  endif()
  cmake_parse_arguments(B "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${B_NAME} ${B_SOURCES})
  target_link_libraries(${B_NAME} PRIVATE ${B_LIBS} benchmark::benchmark Threads::Threads)
  set_property(GLOBAL APPEND PROPERTY ZT_BENCHES ${B_NAME})
endfunction()
