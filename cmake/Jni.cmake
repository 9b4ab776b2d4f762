# Target zknative7_jni: the installed JDK's jni.h, with the machine header that fits the target.

# Debian's JDKs live where FindJNI does not look: the JDK meant is $JAVA_HOME's, else that of the
# javac on PATH.
if(NOT JAVA_HOME)
  if(DEFINED ENV{JAVA_HOME})
    set(jdk_dir "$ENV{JAVA_HOME}")
  else()
    find_program(ZKNATIVE7_JAVAC javac REQUIRED)
    file(REAL_PATH "${ZKNATIVE7_JAVAC}" javac_file)
    cmake_path(GET javac_file PARENT_PATH javac_dir)
    cmake_path(GET javac_dir PARENT_PATH jdk_dir)
  endif()
  set(JAVA_HOME "${jdk_dir}" CACHE PATH "The JDK whose jni.h and tools the build uses")
endif()
# Only the headers are needed; asking for the optional JVM component stops FindJNI from requiring
# the JVM and AWT libraries, which a cross build cannot use.
find_package(JNI REQUIRED OPTIONAL_COMPONENTS JVM)

add_library(zknative7_jni INTERFACE)
if(WIN32)
  # The JDK here is a Linux one; its jni_md.h is wrong for Windows, ours goes first.
  target_include_directories(zknative7_jni BEFORE INTERFACE
    "${PROJECT_SOURCE_DIR}/cmake/windows-jni" "${JAVA_INCLUDE_PATH}")
else()
  target_include_directories(zknative7_jni INTERFACE ${JNI_INCLUDE_DIRS})
endif()
