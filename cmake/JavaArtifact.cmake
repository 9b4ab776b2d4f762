# How each of the project's jars becomes what it ships as, the same way for zknative7,
# zknative7-junit and zknative7-junit4. Each reads PROJECT_VERSION and writes into
# ZKNATIVE7_MAVEN_REPOSITORY; every jar it ships is rewritten by ReproducibleJar.java with the
# time of cmake/ReleaseInfo.cmake, so that a commit always gives the same bytes.
#
# zknative7_module_info(OUTPUT_DIR MODULE CLASSES_JAR MODULE_INFO [OPTIONS javac-option...]
#                       [DEPENDS file-or-target...])
#   compiles the module descriptor alone as Java 9 bytecode against the Java 8 classes into OUTPUT_DIR.
# zknative7_pack_jar(JAR ID CLASSES_JAR MODULE_DIR POM [STAGE_COMMANDS command...] [DEPENDS file...])
#   packs JAR: the classes, then META-INF with the licence, the pom and pom.properties as Maven's
#   jar plugin stores them and what STAGE_COMMANDS put into JAR's folder's stage-ID/META-INF,
#   then MODULE_DIR's module-info.class under META-INF/versions/9.
# zknative7_maven_artifact(ID JAR POM SOURCE_DIR MODULE_INFO SOURCES [JAVADOC_OPTIONS option...]
#                          [DEPENDS file-or-target...])
#   writes the Maven artifact quorvalen.zelka:ID: the jar, its pom, the sources of SOURCE_DIR's
#   quorvalen/ with the module descriptor, and the Javadoc of SOURCES; its files are listed in
#   ZKNATIVE7_<ID>_ARTIFACT (the path without .jar).
set(ZKNATIVE7_MAVEN_REPOSITORY ${CMAKE_BINARY_DIR}/java/maven-repo)
set(reproducible_jar ${CMAKE_CURRENT_LIST_DIR}/ReproducibleJar.java)
set(ZKNATIVE7_REPRODUCIBLE_JAR ${Java_JAVA_EXECUTABLE} ${reproducible_jar})
# A javac newer than 17 warns that release 8 is obsolete; -Werror must still mean our own warnings.
set(ZKNATIVE7_JAVA_LINT -Xlint:all,-options -Werror)

function(zknative7_module_info dir module classes_jar module_info)
  cmake_parse_arguments(PARSE_ARGV 4 arg "" "" "OPTIONS;DEPENDS")
  add_custom_command(OUTPUT ${dir}/module-info.class
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${dir}
    COMMAND ${Java_JAVAC_EXECUTABLE} --release 9 ${ZKNATIVE7_JAVA_LINT} ${arg_OPTIONS}
      --patch-module ${module}=${classes_jar} -d ${dir} ${module_info}
    DEPENDS ${module_info} ${classes_jar} ${arg_DEPENDS}
    COMMENT "Compiling the descriptor of module ${module} for Java 9"
    VERBATIM)
endfunction()

function(zknative7_pack_jar jar id classes_jar module_dir pom)
  cmake_parse_arguments(PARSE_ARGV 5 arg "" "" "STAGE_COMMANDS;DEPENDS")
  get_filename_component(folder ${jar} DIRECTORY)
  set(stage ${folder}/stage-${id})
  set(coordinates ${stage}/META-INF/maven/quorvalen.zelka/${id})
  file(CONFIGURE OUTPUT ${folder}/${id}.pom.properties
    CONTENT "groupId=quorvalen.zelka\nartifactId=${id}\nversion=${PROJECT_VERSION}\n")
  add_custom_command(OUTPUT ${jar}
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
    ${arg_STAGE_COMMANDS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${coordinates}
    COMMAND ${CMAKE_COMMAND} -E copy ${pom} ${coordinates}/pom.xml
    COMMAND ${CMAKE_COMMAND} -E copy ${folder}/${id}.pom.properties ${coordinates}/pom.properties
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${stage}/META-INF/
    COMMAND ${CMAKE_COMMAND} -E copy ${classes_jar} ${jar}
    COMMAND ${Java_JAR_EXECUTABLE} --update --file ${jar} -C ${stage} META-INF
    COMMAND ${Java_JAR_EXECUTABLE} --update --file ${jar} --release 9 -C ${module_dir} module-info.class
    COMMAND ${ZKNATIVE7_REPRODUCIBLE_JAR} ${jar} ${ZKNATIVE7_SOURCE_DATE_EPOCH}
    DEPENDS ${classes_jar} ${module_dir}/module-info.class ${pom} ${PROJECT_SOURCE_DIR}/LICENSE ${arg_DEPENDS}
      ${reproducible_jar} ${ZKNATIVE7_RELEASE_INFO}
    COMMENT "Packing ${id}.jar"
    VERBATIM)
endfunction()

function(zknative7_maven_artifact id jar pom source_dir module_info sources)
  cmake_parse_arguments(PARSE_ARGV 6 arg "" "" "JAVADOC_OPTIONS;DEPENDS")
  set(folder ${ZKNATIVE7_MAVEN_REPOSITORY}/quorvalen/zelka/${id})
  set(artifact ${folder}/${PROJECT_VERSION}/${id}-${PROJECT_VERSION})
  get_filename_component(javadoc ${jar} DIRECTORY)
  set(javadoc ${javadoc}/javadoc-${id})
  add_custom_command(OUTPUT ${artifact}.jar ${artifact}.pom ${artifact}-sources.jar ${artifact}-javadoc.jar
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${folder} ${javadoc}
    # In English and UTF-8 whatever the locale, and without the date of the day it was made.
    COMMAND ${Java_JAVADOC_EXECUTABLE} --release 9 -Xdoclint:all,-missing -Werror -quiet -locale en_US -notimestamp
      -encoding UTF-8 -docencoding UTF-8 -charset UTF-8
      ${arg_JAVADOC_OPTIONS} -d ${javadoc} ${module_info} ${sources}
    COMMAND ${CMAKE_COMMAND} -E copy ${jar} ${artifact}.jar
    COMMAND ${CMAKE_COMMAND} -E copy ${pom} ${artifact}.pom
    COMMAND ${Java_JAR_EXECUTABLE} --create --file ${artifact}-sources.jar
      -C ${source_dir} quorvalen -C ${source_dir}/module module-info.java
    COMMAND ${Java_JAR_EXECUTABLE} --create --file ${artifact}-javadoc.jar -C ${javadoc} .
    COMMAND ${ZKNATIVE7_REPRODUCIBLE_JAR} ${artifact}-sources.jar ${ZKNATIVE7_SOURCE_DATE_EPOCH}
    COMMAND ${ZKNATIVE7_REPRODUCIBLE_JAR} ${artifact}-javadoc.jar ${ZKNATIVE7_SOURCE_DATE_EPOCH}
    DEPENDS ${jar} ${pom} ${module_info} ${sources} ${arg_DEPENDS} ${reproducible_jar} ${ZKNATIVE7_RELEASE_INFO}
    COMMENT "Writing the Maven artifact quorvalen.zelka:${id}:${PROJECT_VERSION}"
    VERBATIM)
  set(ZKNATIVE7_${id}_ARTIFACT ${artifact} PARENT_SCOPE)
endfunction()
