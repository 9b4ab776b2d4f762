# Earlier versions built from this clone's history, for the tests that load two builds in one
# process: 1.0.0 before the serving contract, whose copies share through their natives alone. Sets
# ZKNATIVE7_EARLIER_JAR (its jar for this host) and ZKNATIVE7_EARLIER_windows-x86 (its DLL), and
# ZKNATIVE7_BETWEEN_windows-x86: the DLL of the last commit before the contract, whose copies
# published every native in their list's order; or ZKNATIVE7_EARLIER_MISSING saying why there are
# none (a tree that is not a clone, say).
include(ExternalProject)
set(earlier_commit ab65f3414c1a17bd6f3bdf9654e2b5d5eab592b3)
set(between_commit 6d9e7fb2c685440b9bf1c7a6ccdcfa1da27aa4f8)
set(earlier ${CMAKE_BINARY_DIR}/earlier)
set(ZKNATIVE7_EARLIER_MISSING)

find_package(Git QUIET)
set(missing 1)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} cat-file -e ${earlier_commit}^{commit}
    RESULT_VARIABLE missing OUTPUT_QUIET ERROR_QUIET)
  if(NOT missing)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} cat-file -e ${between_commit}^{commit}
      RESULT_VARIABLE missing OUTPUT_QUIET ERROR_QUIET)
  endif()
endif()
if(missing)
  set(ZKNATIVE7_EARLIER_MISSING "commits ${earlier_commit} and ${between_commit} are not both in the history of ${PROJECT_SOURCE_DIR}")
  message(STATUS "No earlier build to load beside this one: ${ZKNATIVE7_EARLIER_MISSING}")
  return()
endif()

set(earlier_options -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZKNATIVE7_TESTS=OFF -DZKNATIVE7_CROSS=OFF
  -DZKNATIVE7_SANITIZED=OFF -DJAVA_HOME=${JAVA_HOME})
set(ZKNATIVE7_EARLIER_JAR ${earlier}/host/java/zknative7.jar)
ExternalProject_Add(zknative7_earlier
  SOURCE_DIR ${earlier}/src
  BINARY_DIR ${earlier}/host
  DOWNLOAD_COMMAND sh -c "'${GIT_EXECUTABLE}' -C '${PROJECT_SOURCE_DIR}' archive ${earlier_commit} | tar -x -C '${earlier}/src'"
  CMAKE_ARGS ${earlier_options}
  BUILD_BYPRODUCTS ${ZKNATIVE7_EARLIER_JAR}
  INSTALL_COMMAND "")

if(ZKNATIVE7_windows-x86_DIR)
  set(ZKNATIVE7_EARLIER_windows-x86 ${earlier}/windows-x86/bin/zknative7.dll)
  ExternalProject_Add(zknative7_earlier_windows-x86
    SOURCE_DIR ${earlier}/src
    BINARY_DIR ${earlier}/windows-x86
    DOWNLOAD_COMMAND ""
    DEPENDS zknative7_earlier
    CMAKE_ARGS ${earlier_options} -DCMAKE_TOOLCHAIN_FILE=${earlier}/src/cmake/toolchain-windows-x86.cmake
    BUILD_COMMAND ${CMAKE_COMMAND} --build . --target zknative7
    BUILD_BYPRODUCTS ${ZKNATIVE7_EARLIER_windows-x86}
    INSTALL_COMMAND "")

  set(ZKNATIVE7_BETWEEN_windows-x86 ${earlier}/between-windows-x86/bin/zknative7.dll)
  ExternalProject_Add(zknative7_between_windows-x86
    SOURCE_DIR ${earlier}/between-src
    BINARY_DIR ${earlier}/between-windows-x86
    DOWNLOAD_COMMAND sh -c "'${GIT_EXECUTABLE}' -C '${PROJECT_SOURCE_DIR}' archive ${between_commit} | tar -x -C '${earlier}/between-src'"
    CMAKE_ARGS ${earlier_options} -DCMAKE_TOOLCHAIN_FILE=${earlier}/between-src/cmake/toolchain-windows-x86.cmake
    BUILD_COMMAND ${CMAKE_COMMAND} --build . --target zknative7
    BUILD_BYPRODUCTS ${ZKNATIVE7_BETWEEN_windows-x86}
    INSTALL_COMMAND "")
endif()
