# The same tree built again: for the other platforms of cmake/platforms.txt, each by its own
# toolchain (cross/<platform>), and with sanitizers or libFuzzer for the checks (checks/<kind>).
# Sets ZKNATIVE7_NATIVES (platform, library file, ...) for the jar, ZKNATIVE7_CROSS_PLATFORMS,
# ZKNATIVE7_HOST_PLATFORM, ZKNATIVE7_<platform>_DIR (each built platform's build folder) and
# ZKNATIVE7_CHECKS for the tests. The jar gets each platform's library as it ships (Shipped.cmake). Each platform's build gets its musl name as ZKNATIVE7_MUSL.
include(ExternalProject)
include(${CMAKE_CURRENT_LIST_DIR}/Platforms.cmake)
option(ZKNATIVE7_CROSS "Also build every other platform of cmake/platforms.txt" ON)
option(ZKNATIVE7_SANITIZED "Also build the C++ suites with ASan+UBSan and TSan, and the fuzzers" ON)

set(ZKNATIVE7_NATIVES)
set(ZKNATIVE7_CROSS_PLATFORMS)
set(ZKNATIVE7_CHECKS)

# Builds the tree into DIR as external project NAME; BYPRODUCTS are files it makes that others use.
function(zknative7_sub_build name dir byproducts)
  ExternalProject_Add(${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DZKNATIVE7_TESTS=${ZKNATIVE7_TESTS}
      -DJAVA_HOME=${JAVA_HOME}
      ${ARGN}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${byproducts}
    INSTALL_COMMAND "")
endfunction()

# The row without a toolchain is this build's own.
foreach(platform IN LISTS ZKNATIVE7_PLATFORMS)
  set(library ${ZKNATIVE7_${platform}_LIBRARY})
  if(ZKNATIVE7_${platform}_TOOLCHAIN STREQUAL "-")
    set(ZKNATIVE7_HOST_PLATFORM ${platform})
    set(ZKNATIVE7_MUSL ${ZKNATIVE7_${platform}_MUSL})
    set(ZKNATIVE7_${platform}_DIR ${CMAKE_BINARY_DIR})
    list(APPEND ZKNATIVE7_NATIVES ${platform} ${ZKNATIVE7_SHIPPED_LIBRARY})
  elseif(ZKNATIVE7_CROSS)
    set(dir ${CMAKE_BINARY_DIR}/cross/${platform})
    set(ZKNATIVE7_${platform}_DIR ${dir})
    get_filename_component(file ${library} NAME)
    zknative7_sub_build(${platform} ${dir} "${dir}/${library};${dir}/shipped/${file}"
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${ZKNATIVE7_${platform}_TOOLCHAIN}
      -DZKNATIVE7_MUSL=${ZKNATIVE7_${platform}_MUSL})
    list(APPEND ZKNATIVE7_NATIVES ${platform} ${dir}/shipped/${file})
    list(APPEND ZKNATIVE7_CROSS_PLATFORMS ${platform})
  endif()
endforeach()

if(ZKNATIVE7_SANITIZED)
  foreach(kind IN ITEMS address thread fuzzer)
    zknative7_sub_build(checks-${kind} ${CMAKE_BINARY_DIR}/checks/${kind} ${CMAKE_BINARY_DIR}/checks/${kind}/tests
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DZKNATIVE7_SANITIZE=${kind})
    list(APPEND ZKNATIVE7_CHECKS ${kind})
  endforeach()
endif()
