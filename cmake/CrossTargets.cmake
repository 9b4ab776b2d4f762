# The same tree built for the other hosts, each by its own toolchain in cross/<platform>.
# Sets ZKNATIVE7_NATIVES: platform, library file, platform, library file... for every build.
include(ExternalProject)
option(ZKNATIVE7_CROSS "Also build for 32-bit Linux and for 32- and 64-bit Windows" ON)

set(ZKNATIVE7_NATIVES linux-x86_64 $<TARGET_FILE:zknative7>)
set(ZKNATIVE7_CROSS_PLATFORMS)
if(NOT ZKNATIVE7_CROSS)
  return()
endif()

# Builds the tree for PLATFORM with cmake/toolchain-PLATFORM.cmake; LIBRARY is where its library lands.
function(zknative7_cross_build platform library)
  set(dir ${CMAKE_BINARY_DIR}/cross/${platform})
  ExternalProject_Add(${platform}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${platform}.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DZKNATIVE7_TESTS=${ZKNATIVE7_TESTS}
      -DJAVA_HOME=${JAVA_HOME}
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${dir}/${library}
    INSTALL_COMMAND "")
  set(ZKNATIVE7_NATIVES ${ZKNATIVE7_NATIVES} ${platform} ${dir}/${library} PARENT_SCOPE)
  set(ZKNATIVE7_CROSS_PLATFORMS ${ZKNATIVE7_CROSS_PLATFORMS} ${platform} PARENT_SCOPE)
endfunction()

zknative7_cross_build(linux-x86 libzknative7.so)
zknative7_cross_build(windows-x86 bin/zknative7.dll)
zknative7_cross_build(windows-x86_64 bin/zknative7.dll)
