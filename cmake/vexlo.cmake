# Helpers shared by every library folder.

# One static library per top folder, built from every source below the calling
# folder except tests; its test support (sources under a test/ folder) as the
# library NAME_test_support; and its test executable NAME_unittests from every
# *_unittest.cc, registered with ctest one case per gtest case.
#   vexlo_library(NAME [DEPS libs...] [TEST_DEPS libs...] [EXCLUDE regex])
# EXCLUDE leaves out the sources whose path matches the regex, for folders that
# build modules of their own (such as an executable and its resources).
# The test main lives in base's test support, so every test executable links it.
# Sources named *_test_dll.cc are test modules of their own, built by explicit
# targets, and are left out here.
function(vexlo_library name)
  cmake_parse_arguments(ARG "" "EXCLUDE" "DEPS;TEST_DEPS" ${ARGN})
  file(GLOB_RECURSE all CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cc"
       "${CMAKE_CURRENT_SOURCE_DIR}/*.c" "${CMAKE_CURRENT_SOURCE_DIR}/*.S")
  set(sources "")
  set(support_sources "")
  set(test_sources "")
  foreach(f IN LISTS all)
    if(f MATCHES "_test_(dll|child)\\.cc$")
      continue()
    elseif(ARG_EXCLUDE AND f MATCHES "${ARG_EXCLUDE}")
      continue()
    elseif(f MATCHES "_unittest\\.cc$")
      list(APPEND test_sources "${f}")
    elseif(f MATCHES "/test/")
      list(APPEND support_sources "${f}")
    else()
      list(APPEND sources "${f}")
    endif()
  endforeach()

  if(NOT sources)
    message(STATUS "${name}: no sources")
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  set(test_deps ${name} ${ARG_TEST_DEPS})
  if(support_sources)
    add_library(${name}_test_support STATIC ${support_sources})
    target_link_libraries(${name}_test_support PUBLIC ${name} gmock)
    list(APPEND test_deps ${name}_test_support)
  endif()
  if(test_sources)
    add_executable(${name}_unittests ${test_sources})
    target_link_libraries(${name}_unittests PRIVATE ${test_deps} gmock)
    target_link_options(${name}_unittests PRIVATE -municode)
    gtest_discover_tests(${name}_unittests DISCOVERY_MODE PRE_TEST
                         DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
