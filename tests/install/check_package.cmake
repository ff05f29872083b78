# SPDX-License-Identifier: GPL-3.0-or-later
# Packs the build into a .deb with cpack and runs lintian on it: no error and no warning may be
# reported (informational tags are shown, not judged).
#
#   cmake -DBUILD_DIR=<build> -DPACKAGE_DIR=<scratch> -P check_package.cmake

foreach(var IN ITEMS BUILD_DIR PACKAGE_DIR)
    if(NOT ${var})
        message(FATAL_ERROR "${var} is not set")
    endif()
endforeach()

find_program(LINTIAN lintian)
if(NOT LINTIAN)
    message(STATUS "SKIP: lintian not found (.ci/deps installs it); the .deb is not judged")
    return()
endif()

file(REMOVE_RECURSE ${PACKAGE_DIR})
execute_process(
    COMMAND cpack --config ${BUILD_DIR}/CPackConfig.cmake -G DEB -B ${PACKAGE_DIR}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
file(GLOB packages ${PACKAGE_DIR}/*.deb)
if(NOT result EQUAL 0 OR NOT packages)
    message(FATAL_ERROR "cpack made no .deb:\n${output}")
endif()

execute_process(
    COMMAND ${LINTIAN} --fail-on error,warning ${packages}
    RESULT_VARIABLE result OUTPUT_VARIABLE report ERROR_VARIABLE report)
message(STATUS "lintian ${packages}:\n${report}")
if(NOT result EQUAL 0)
    message(FATAL_ERROR "lintian reports errors or warnings (exit ${result})")
endif()
