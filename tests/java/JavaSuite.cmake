# The Java suites: JUnit 5's console launcher on a real JVM with -Xcheck:jni, against a built library.
include(UseJava)
find_jar(JUNIT_CONSOLE_JAR NAMES junit-platform-console-standalone PATHS /usr/share/java REQUIRED)

add_jar(zknative7_java_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/NativeToolsTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/NativeLoaderTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildProcessTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ConcurrencyTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/EnvProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/MemoryProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/MemoryTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildStartTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildStartProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ClassLoaderCopiesTest.java
  INCLUDE_JARS zknative7_classes ${JUNIT_CONSOLE_JAR})

# Registers test NAME: the suites on JAVA with the library in LIBRARY_DIR, or, when that is empty,
# with an empty java.library.path directory so that only the jar's own copy can load (an empty
# path would mean the working directory); further arguments are options for JAVA. Any JNI or
# native-access warning fails it, as a test failure does.
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/no-libraries)
function(zknative7_java_suite name java library_dir)
  get_target_property(main_jar zknative7_java JAR_FILE)
  get_target_property(test_jar zknative7_java_tests JAR_FILE)
  if(library_dir)
    set(library_options -Djava.library.path=${library_dir})
  else()
    set(library_options -Djava.library.path=${CMAKE_CURRENT_BINARY_DIR}/no-libraries -Dzknative7.test.bundled=true)
  endif()
  add_test(NAME ${name}
    COMMAND ${java} -Xcheck:jni ${library_options} ${ARGN}
      -cp ${JUNIT_CONSOLE_JAR}:${main_jar}:${test_jar} org.junit.platform.console.ConsoleLauncher
      --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests
      --scan-class-path ${test_jar})
  # Java decodes arguments and file names by the locale; the tests pass Cyrillic to children.
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT LC_ALL=C.UTF-8
    FAIL_REGULAR_EXPRESSION "WARNING in native method;WARNING: A restricted method;WARNING: Use --enable-native-access"
    TIMEOUT 300)
endfunction()
