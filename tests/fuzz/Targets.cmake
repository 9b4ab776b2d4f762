# ZKNATIVE7_FUZZ_TARGETS: every fuzz target, one for each fuzz_<target>.cpp here (each with its
# seeds in corpus/<target>/).
file(GLOB fuzz_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/fuzz_*.cpp)
set(ZKNATIVE7_FUZZ_TARGETS)
foreach(source IN LISTS fuzz_sources)
  get_filename_component(name ${source} NAME_WE)
  string(REGEX REPLACE "^fuzz_" "" target ${name})
  list(APPEND ZKNATIVE7_FUZZ_TARGETS ${target})
endforeach()
