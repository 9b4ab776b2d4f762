# Which commit this tree is, and the time that every shipped file carries, so that a build of the
# same commit gives the same bytes anywhere, on any day. Sets ZKNATIVE7_COMMIT (its hash, or
# "unknown") and ZKNATIVE7_SOURCE_DATE_EPOCH (seconds, even, as zip entries keep two-second times),
# and ZKNATIVE7_RELEASE_INFO, a file rewritten only when either changes, for rules to depend on.
#
# In a git clone both come from git, and a new commit makes CMake configure again. In an archive
# made by `git archive`, commit.txt was filled in with both (export-subst). Otherwise the commit is
# unknown and the time 1980-01-01T00:00:02Z, the first a zip entry can hold. SOURCE_DATE_EPOCH in
# the environment overrides the time, as the reproducible-builds convention has it.
set(ZKNATIVE7_COMMIT unknown)
set(epoch 315532802)
find_package(Git QUIET)
file(READ ${CMAKE_CURRENT_LIST_DIR}/commit.txt archived)
string(STRIP "${archived}" archived)
if(GIT_FOUND AND EXISTS ${PROJECT_SOURCE_DIR}/.git)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} log -1 --format=%H%n%ct
    OUTPUT_VARIABLE head RESULT_VARIABLE failed OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT failed)
    string(REPLACE "\n" ";" head "${head}")
    list(GET head 0 ZKNATIVE7_COMMIT)
    list(GET head 1 epoch)
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${PROJECT_SOURCE_DIR} rev-parse --absolute-git-dir
    OUTPUT_VARIABLE git_dir OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  foreach(moved IN ITEMS HEAD logs/HEAD)
    if(EXISTS ${git_dir}/${moved})
      set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${git_dir}/${moved})
    endif()
  endforeach()
elseif(archived MATCHES "^([0-9a-f]+) ([0-9]+)$")
  set(ZKNATIVE7_COMMIT ${CMAKE_MATCH_1})
  set(epoch ${CMAKE_MATCH_2})
endif()
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(epoch $ENV{SOURCE_DATE_EPOCH})
endif()
math(EXPR ZKNATIVE7_SOURCE_DATE_EPOCH "${epoch} / 2 * 2")
set(ZKNATIVE7_RELEASE_INFO ${CMAKE_BINARY_DIR}/release-info.txt)
file(CONFIGURE OUTPUT ${ZKNATIVE7_RELEASE_INFO} CONTENT "@ZKNATIVE7_COMMIT@ @ZKNATIVE7_SOURCE_DATE_EPOCH@\n" @ONLY)
