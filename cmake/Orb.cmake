# Project-wide helpers.

# Adds every immediate subfolder of the current source folder that has a CMakeLists.txt.
function(orb_add_child_modules)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# orb_add_gtest(name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [ENV VAR=value ...] [TIMEOUT s]
#               [COST c])
# One GoogleTest executable; each test case becomes a CTest test. A test that drives the real client
# program (it links the end-to-end harness) carries the label e2e: only those may be rerun once.
# COST starts the cases early in a parallel run where CTest has no timings yet (a fresh clone): a
# case of several minutes started last would hold the whole suite up.
function(orb_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT;COST" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
  if("orb_e2e" IN_LIST T_LIBS)
    list(APPEND T_LABELS e2e)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set(props TIMEOUT ${T_TIMEOUT})
  if(T_COST)
    list(APPEND props COST ${T_COST})
  endif()
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES ${props})
  if(T_ENV)
    # Set on the discovered tests (their names are in <name>_TESTS) by a script CTest reads after
    # the discovery's: passed through the discovery's PROPERTIES, only the first variable would
    # survive its unpacking of lists.
    set(env_script ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
    file(WRITE ${env_script}
         "foreach(t IN LISTS ${name}_TESTS)\n  set_tests_properties(\"\${t}\" PROPERTIES ENVIRONMENT \"${T_ENV}\")\nendforeach()\n")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_script})
  endif()
endfunction()

# orb_add_fuzzer(name SOURCES a.cpp ... LIBS lib ...)
# Built only in the fuzzer build (clang, -DORB_FUZZ=ON); the main build runs it for a bounded time
# when ORB_FUZZ_DIR names that build.
function(orb_add_fuzzer name)
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(ORB_FUZZ)
    add_executable(${name} ${F_SOURCES})
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    add_dependencies(orb_fuzzers ${name})
  elseif(ORB_FUZZ_DIR)
    # The working corpus starts from the inputs kept in fuzz/corpus/<name>/ (made from the tests' own
    # records); what the run finds is added there, never to those kept inputs.
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}-corpus)
    file(MAKE_DIRECTORY ${corpus})
    set(seeds ${PROJECT_SOURCE_DIR}/fuzz/corpus/${name})
    file(GLOB seed_files CONFIGURE_DEPENDS ${seeds}/*)
    if(seed_files)
      file(COPY ${seed_files} DESTINATION ${corpus})
    endif()
    add_test(NAME fuzz.${name}
             COMMAND ${ORB_FUZZ_DIR}/${rel}/${name} -max_total_time=${ORB_FUZZ_SECONDS} -rss_limit_mb=2048 -timeout=10 ${corpus})
    set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
  endif()
endfunction()

# orb_add_tsan_test(target): marks a GoogleTest executable to be run under ThreadSanitizer.
# In the TSan build it joins the orb_tsan_tests target; the main build runs it from ORB_TSAN_DIR.
function(orb_add_tsan_test target)
  file(RELATIVE_PATH rel ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  if(ORB_SANITIZE_THREAD)
    add_dependencies(orb_tsan_tests ${target})
  elseif(ORB_TSAN_DIR)
    add_test(NAME tsan.${target} COMMAND ${ORB_TSAN_DIR}/${rel}/${target})
    set_tests_properties(tsan.${target} PROPERTIES LABELS tsan TIMEOUT 600
                         ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 second_deadlock_stack=1")
  endif()
endfunction()
