# The library as it ships: shipped/<file>, without its debug information, which goes to
# debug/<file>.debug beside it in the build folder, named in the shipped file (.gnu_debuglink)
# with its checksum, so that a debugger given that file can read a crash of the shipped one.
# objcopy stamps a PE file with the time it runs, unless SOURCE_DATE_EPOCH gives one: the commit's.
# Sets ZKNATIVE7_SHIPPED_LIBRARY.
if(WIN32)
  set(library_file zknative7.dll)
else()
  set(library_file ${CMAKE_SHARED_LIBRARY_PREFIX}zknative7${CMAKE_SHARED_LIBRARY_SUFFIX})
endif()
set(ZKNATIVE7_SHIPPED_LIBRARY ${CMAKE_BINARY_DIR}/shipped/${library_file})
set(debug_file ${CMAKE_BINARY_DIR}/debug/${library_file}.debug)
set(objcopy ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${ZKNATIVE7_SOURCE_DATE_EPOCH} ${CMAKE_OBJCOPY})
add_custom_command(OUTPUT ${ZKNATIVE7_SHIPPED_LIBRARY} ${debug_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/shipped ${CMAKE_BINARY_DIR}/debug
  COMMAND ${objcopy} --only-keep-debug $<TARGET_FILE:zknative7> ${debug_file}
  COMMAND ${objcopy} --strip-unneeded --add-gnu-debuglink=${debug_file} $<TARGET_FILE:zknative7>
    ${ZKNATIVE7_SHIPPED_LIBRARY}
  DEPENDS zknative7 ${ZKNATIVE7_RELEASE_INFO}
  COMMENT "Stripping ${library_file}, its debug information kept apart"
  VERBATIM)
add_custom_target(zknative7_shipped ALL DEPENDS ${ZKNATIVE7_SHIPPED_LIBRARY})
