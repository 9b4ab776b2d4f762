# The same tree built again: for the other platforms, each by its own toolchain (cross/<platform>),
# and with sanitizers or libFuzzer for the checks (checks/<kind>).
# Sets ZKNATIVE7_NATIVES (platform, library file, ...) for the jar, ZKNATIVE7_CROSS_PLATFORMS and
# ZKNATIVE7_CHECKS for the tests.
include(ExternalProject)
option(ZKNATIVE7_CROSS "Also build for 32-bit Linux and for 32- and 64-bit Windows" ON)
option(ZKNATIVE7_SANITIZED "Also build the C++ suites with ASan+UBSan and TSan, and the fuzzers" ON)

set(ZKNATIVE7_NATIVES linux-x86_64 $<TARGET_FILE:zknative7>)
set(ZKNATIVE7_CROSS_PLATFORMS)
set(ZKNATIVE7_CHECKS)

# Builds the tree into DIR as external project NAME; BYPRODUCT is a file it makes that others use.
function(zknative7_sub_build name dir byproduct)
  ExternalProject_Add(${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DZKNATIVE7_TESTS=${ZKNATIVE7_TESTS}
      -DJAVA_HOME=${JAVA_HOME}
      ${ARGN}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${dir}/${byproduct}
    INSTALL_COMMAND "")
endfunction()

if(ZKNATIVE7_CROSS)
  foreach(build IN ITEMS linux-x86:libzknative7.so windows-x86:bin/zknative7.dll windows-x86_64:bin/zknative7.dll)
    string(REPLACE ":" ";" build ${build})
    list(GET build 0 platform)
    list(GET build 1 library)
    zknative7_sub_build(${platform} ${CMAKE_BINARY_DIR}/cross/${platform} ${library}
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${platform}.cmake)
    list(APPEND ZKNATIVE7_NATIVES ${platform} ${CMAKE_BINARY_DIR}/cross/${platform}/${library})
    list(APPEND ZKNATIVE7_CROSS_PLATFORMS ${platform})
  endforeach()
endif()

if(ZKNATIVE7_SANITIZED)
  foreach(kind IN ITEMS address thread fuzzer)
    zknative7_sub_build(checks-${kind} ${CMAKE_BINARY_DIR}/checks/${kind} tests
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZKNATIVE7_SANITIZE=${kind})
    list(APPEND ZKNATIVE7_CHECKS ${kind})
  endforeach()
endif()
