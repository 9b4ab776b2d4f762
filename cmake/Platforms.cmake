# Reads cmake/platforms.txt: ZKNATIVE7_PLATFORMS lists the platforms, and for each platform P,
# ZKNATIVE7_P_OS, _ARCH (a list), _ENDIAN, _TOOLCHAIN, _LIBRARY, _RUNNER, _JDK, _MUSL and _PACKAGES (a list)
# hold its columns ("-" where it has none), each found by its name in the table's header.
include(${CMAKE_CURRENT_LIST_DIR}/Tables.cmake)
set(ZKNATIVE7_PLATFORM_TABLE ${CMAKE_CURRENT_LIST_DIR}/platforms.txt)
zknative7_read_table(${ZKNATIVE7_PLATFORM_TABLE} ZKNATIVE7 platform os arch endian toolchain library runner jdk musl packages)
set(ZKNATIVE7_PLATFORMS ${ZKNATIVE7_ROWS})
foreach(platform IN LISTS ZKNATIVE7_PLATFORMS)
  string(REPLACE "," ";" ZKNATIVE7_${platform}_ARCH ${ZKNATIVE7_${platform}_ARCH})
  string(REPLACE "," ";" ZKNATIVE7_${platform}_PACKAGES ${ZKNATIVE7_${platform}_PACKAGES})
endforeach()
