# Helpers shared by every library folder.

# Collects the sources of one top folder: every .cc below it except tests and
# test-only support (files under a test/ folder go to the test executable).
function(vexlo_collect_sources dir out_lib out_test)
  file(GLOB_RECURSE all CONFIGURE_DEPENDS "${dir}/*.cc" "${dir}/*.c" "${dir}/*.S")
  set(lib "")
  set(tests "")
  foreach(f IN LISTS all)
    if(f MATCHES "_unittest\\.cc$" OR f MATCHES "/test/")
      list(APPEND tests "${f}")
    else()
      list(APPEND lib "${f}")
    endif()
  endforeach()
  set(${out_lib} "${lib}" PARENT_SCOPE)
  set(${out_test} "${tests}" PARENT_SCOPE)
endfunction()

# Registers a test executable with ctest, one ctest case per gtest case.
function(vexlo_add_test_executable name)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
                       PROPERTIES TIMEOUT 120)
endfunction()
