# orvel_add_auxiliary(target): an auxiliary program, built into libexec/orvel-raza.
function(orvel_add_auxiliary target)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${ORVEL_LIBEXEC_OUTPUT_DIR}")
  install(TARGETS ${target} RUNTIME DESTINATION "${ORVEL_LIBEXEC_SUBDIR}")
endfunction()

# orvel_add_resources(FILES...): copied into share/orvel-raza at build time and installed there.
function(orvel_add_resources)
  foreach(f IN LISTS ARGN)
    get_filename_component(name "${f}" NAME)
    configure_file("${f}" "${ORVEL_SHARE_OUTPUT_DIR}/${name}" COPYONLY)
    install(FILES "${f}" DESTINATION "${ORVEL_SHARE_SUBDIR}")
  endforeach()
endfunction()

# orvel_add_gtest(name SOURCES... LIBS... [PROPERTIES key value...]): one test executable per area, each
# test its own CTest case. PROPERTIES go to every case (e.g. RESOURCE_LOCK orvel_audio for tests that
# play into or record from the shared test sink).
include(GoogleTest)
function(orvel_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE orvel_test_support ${T_LIBS} GTest::gmock)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES
    PROPERTIES TIMEOUT 120 ENVIRONMENT "ORVEL_TEST_SUPPORT_DIR=${CMAKE_BINARY_DIR}/tests/support" ${T_PROPERTIES})
endfunction()
