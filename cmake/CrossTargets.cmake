# The same tree built for the other hosts (each with its own toolchain), and their tests.
include(ExternalProject)
option(ZKNATIVE7_CROSS "Also build and test for 32-bit Linux" ON)
if(NOT ZKNATIVE7_CROSS)
  return()
endif()

# Builds the tree for TARGET with cmake/toolchain-TARGET.cmake into cross/TARGET.
function(zknative7_cross_build target)
  ExternalProject_Add(${target}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${CMAKE_BINARY_DIR}/cross/${target}
    CMAKE_ARGS
      -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/toolchain-${target}.cmake
      -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
      -DZKNATIVE7_TESTS=${ZKNATIVE7_TESTS}
      -DJAVA_HOME=${JAVA_HOME}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
endfunction()

zknative7_cross_build(linux-x86)
set(linux_x86 ${CMAKE_BINARY_DIR}/cross/linux-x86)
if(ZKNATIVE7_TESTS)
  add_test(NAME cpp.linux-x86 COMMAND ${linux_x86}/tests/zknative7_tests)
  set_tests_properties(cpp.linux-x86 PROPERTIES TIMEOUT 120)
  add_test(NAME exports.linux-x86
    COMMAND sh ${PROJECT_SOURCE_DIR}/tests/check-exports.sh elf ${linux_x86}/libzknative7.so)
  find_program(JAVA_I386 java PATHS /usr/lib/jvm/java-17-openjdk-i386/bin NO_DEFAULT_PATH REQUIRED)
  zknative7_java_suite(java.linux-x86 ${JAVA_I386} ${linux_x86})
endif()
