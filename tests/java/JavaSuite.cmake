# The Java suites: JUnit 5's console launcher on a real JVM with -Xcheck:jni, against a built library.
include(UseJava)
find_jar(JUNIT_CONSOLE_JAR NAMES junit-platform-console-standalone PATHS /usr/share/java REQUIRED)
set(JNA_JAR /usr/share/java/jna.jar)
execute_process(COMMAND dpkg-architecture -qDEB_HOST_MULTIARCH OUTPUT_VARIABLE multiarch OUTPUT_STRIP_TRAILING_WHITESPACE)
set(JNA_NATIVE_DIR /usr/lib/${multiarch}/jni)

add_jar(zknative7_java_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/NativeToolsTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/NativeLoaderTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/NestedJars.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/AsOnWindows.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/LoaderAttacksTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/PlatformTableTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildProcessTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/Race.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/EnvCommandTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/EnvironmentTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ConcurrencyTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/EnvProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/MemoryProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/MemoryTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildStartTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ChildStartProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/ClassLoaderCopiesTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/TwoBuildsTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/TwoBuildsProbe.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/JdkViewTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/EnvironmentScopeTest.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/UnfollowableShapes.java
    ${CMAKE_CURRENT_LIST_DIR}/quorvalen/zelka/WindowsShapedEnvironment.java
  INCLUDE_JARS zknative7_classes ${JUNIT_CONSOLE_JAR})

# Registers test NAME: the suites on JAVA with the library built in LIBRARY_DIR, either installed
# there on java.library.path (INSTALLED true: the classes alone on the class path, and the loader
# told to look there) or from the jar alone (an empty java.library.path folder, since an empty
# path would mean the working directory). Any JNI or native-access warning fails it, as a test
# failure does. Optional: PLATFORM, the jar's name for the JVM's platform (default: the host's);
# LAUNCHER, the command that starts this JVM and every child JVM of the suites (a qemu-user binary
# with -L /); TAG, to run only the tests with that tag ("architecture": what can differ by
# architecture; "jar": what can differ when the library comes from the jar; "attacks": another
# user's, as root, and "builds": other versions' beside this one, which no suite runs otherwise); OPTIONS, further
# options for JAVA; ENVIRONMENT, further variables for it (NAME=VALUE).
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/no-libraries)
set(carried ${ZKNATIVE7_HOST_PLATFORM} ${ZKNATIVE7_CROSS_PLATFORMS})
list(JOIN carried "," carried)
function(zknative7_java_suite name java library_dir installed)
  cmake_parse_arguments(PARSE_ARGV 4 suite "" "PLATFORM;TAG" "LAUNCHER;OPTIONS;ENVIRONMENT")
  if(NOT suite_PLATFORM)
    set(suite_PLATFORM ${ZKNATIVE7_HOST_PLATFORM})
  endif()
  set(timeout 900)  # about a minute alone, up to three beside a loaded machine's other suites
  set(cost 50)  # seconds, about: a fresh build's ctest has no times yet and starts the longest first
  set(watchdog)
  set(emulation_options)
  set(selection --exclude-tag attacks --exclude-tag builds)
  if(suite_TAG)
    set(selection --include-tag ${suite_TAG})
  endif()
  if(suite_LAUNCHER)
    list(JOIN suite_LAUNCHER " " launcher)
    # The JDK's default spawn helper is itself a binary of the emulated platform.
    set(emulation_options -Dzknative7.test.launcher=${launcher} -Djdk.lang.Process.launchMechanism=VFORK)
    # A 32-bit guest's directory listings on ext4 fail with EOVERFLOW (qemu-user passes on the host's
    # 64-bit directory offsets); tmpfs has none that large.
    if(IS_DIRECTORY /dev/shm)
      list(APPEND emulation_options -Djava.io.tmpdir=/dev/shm)
    endif()
    set(watchdog ${emulated_suite})
    set(timeout ${emulated_timeout})
    set(cost 100)
  endif()
  # JNA stands for other native code that sets variables; Debian has it for the host's JVMs alone.
  set(jna_options)
  if(suite_PLATFORM STREQUAL ZKNATIVE7_HOST_PLATFORM AND EXISTS ${JNA_JAR})
    set(jna_options -Dzknative7.test.jna=${JNA_JAR} -Djna.boot.library.path=${JNA_NATIVE_DIR})
  endif()
  get_target_property(main_jar zknative7_java JAR_FILE)
  get_target_property(classes_jar zknative7_classes JAR_FILE)
  get_target_property(test_jar zknative7_java_tests JAR_FILE)
  if(installed)
    set(library_options -Djava.library.path=${library_dir} -Dzknative7.useLibraryPath=true)
    set(tools_jar ${classes_jar})
  else()
    set(library_options -Djava.library.path=${CMAKE_CURRENT_BINARY_DIR}/no-libraries -Dzknative7.test.bundled=true)
    set(tools_jar ${main_jar})
  endif()
  add_test(NAME ${name}
    COMMAND ${watchdog} ${suite_LAUNCHER} ${java} -Xcheck:jni ${library_options} ${emulation_options} ${suite_OPTIONS}
      ${jna_options}
      -Dzknative7.test.platform=${suite_PLATFORM} -Dzknative7.test.endian=${ZKNATIVE7_${suite_PLATFORM}_ENDIAN}
      -Dzknative7.test.jar=${main_jar} -Dzknative7.test.classes=${classes_jar}
      -Dzknative7.test.library=${library_dir}/${ZKNATIVE7_${suite_PLATFORM}_LIBRARY} -Dzknative7.test.version=${PROJECT_VERSION}
      -Dzknative7.test.commit=${ZKNATIVE7_COMMIT}
      -Dzknative7.test.carried=${carried} -Dzknative7.test.execWithBlock=$<TARGET_FILE:zknative7_exec_with_block>
      -cp ${JUNIT_CONSOLE_JAR}:${tools_jar}:${test_jar} org.junit.platform.console.ConsoleLauncher
      --disable-banner --disable-ansi-colors --details=tree --fail-if-no-tests
      --scan-class-path ${test_jar} ${selection})
  # Java decodes arguments and file names by the locale; the tests pass Cyrillic to children.
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "LC_ALL=C.UTF-8;${suite_ENVIRONMENT}"
    FAIL_REGULAR_EXPRESSION "WARNING in native method;WARNING: A restricted method;WARNING: Use --enable-native-access"
    TIMEOUT ${timeout} COST ${cost})
endfunction()
