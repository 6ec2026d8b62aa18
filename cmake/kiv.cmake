# Build settings shared by every target of the project.

set(KIV_WARNINGS -Wall -Wextra)
# Test programs are built without optimisation in every build: what they
# test is the libraries, which keep the build's own flags, and it halves
# the time their sources take to compile.
set(KIV_TEST_OPTIONS ${KIV_WARNINGS} -O0)

if(KIV_SANITIZE STREQUAL "address")
  set(KIV_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
elseif(KIV_SANITIZE STREQUAL "thread")
  set(KIV_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(KIV_FUZZ)
  # AGG's rasteriser is the inner loop of every map drawing: its inlined
  # code keeps the sanitizers but not coverage feedback, which steered
  # the fuzzers into AGG's own branches at a tenth of their speed.
  # The compiler does not list the ignore list among a source's
  # dependencies, so the flag names a copy whose name carries the list's
  # hash: an edit of the list (which reruns CMake) changes every compile
  # command, and neither the build tool nor ccache reuses objects built
  # without it.
  file(SHA1 ${CMAKE_CURRENT_LIST_DIR}/fuzz_coverage_ignore.txt _kiv_ignore_hash)
  string(SUBSTRING ${_kiv_ignore_hash} 0 12 _kiv_ignore_hash)
  set(_kiv_ignore_copy ${CMAKE_BINARY_DIR}/fuzz_coverage_ignore-${_kiv_ignore_hash}.txt)
  configure_file(${CMAKE_CURRENT_LIST_DIR}/fuzz_coverage_ignore.txt ${_kiv_ignore_copy} COPYONLY)
  set(KIV_SAN_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                    -fsanitize-coverage-ignorelist=${_kiv_ignore_copy})
else()
  set(KIV_SAN_FLAGS "")
endif()
if(KIV_SAN_FLAGS)
  add_compile_options(${KIV_SAN_FLAGS})
  if(KIV_FUZZ)
    add_link_options(-fsanitize=address,undefined)
  else()
    add_link_options(${KIV_SAN_FLAGS})
  endif()
endif()

# kiv_add_library(NAME SOURCES...)
# A shared object named NAME.so (no "lib" prefix) in the output folder, with
# hidden symbols, our warnings, and -Bsymbolic so that the library protocol
# functions every library exports bind inside their own library.
function(kiv_add_library name)
  add_library(${name} SHARED ${ARGN})
  set_property(GLOBAL APPEND PROPERTY KIV_LIBRARIES ${name})
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
  # Sanitizer runtimes live in the program, so only plain builds can
  # insist that a library resolves every symbol itself.
  if(NOT KIV_SAN_FLAGS)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  # NAME_internal: the same objects as a static library, with the private
  # headers beside the public ones and the library's own dependencies, for
  # its tests and fuzz targets. What only they reach is neither in include/
  # nor exported; a program linking it holds a copy of its own, apart from
  # the shared object that the core's loader may load beside it.
  add_library(${name}_internal STATIC EXCLUDE_FROM_ALL $<TARGET_OBJECTS:${name}>)
  target_include_directories(${name}_internal INTERFACE
    $<TARGET_PROPERTY:${name},INCLUDE_DIRECTORIES>)
  # The library's own link list may name its dependencies through
  # $<BUILD_INTERFACE:...> (what its installed form links instead), which
  # reading the property leaves unevaluated.
  target_link_libraries(${name}_internal INTERFACE
    $<GENEX_EVAL:$<TARGET_PROPERTY:${name},LINK_LIBRARIES>>)
endfunction()

# The thread tests are the whole suite of the TSan build: kiv_thread_tests
# builds them with every library (the tests load some of them by name)
# and nothing else.
function(kiv_note_thread_test name labels)
  if("threads" IN_LIST labels)
    set_property(GLOBAL APPEND PROPERTY KIV_THREAD_TESTS ${name})
  endif()
endfunction()

# kiv_add_test(NAME LIBS... [LABELS label...])
# One GoogleTest program from tests/<lib>/NAME.cpp, each case registered
# with CTest. LABELS "threads" marks the cases that run under TSan too.
function(kiv_add_test name)
  cmake_parse_arguments(T "" "" "LIBS;LABELS;SOURCES" ${ARGN})
  if(NOT T_SOURCES)
    set(T_SOURCES ${name}.cpp)
  endif()
  add_executable(${name} ${T_SOURCES})
  target_compile_options(${name} PRIVATE ${KIV_TEST_OPTIONS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kiv_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  set(props "")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  kiv_note_thread_test(${name} "${T_LABELS}")
  if(KIV_SANITIZE STREQUAL "thread")
    # Appended to the caller's options (halt_on_error and the like from
    # scripts/test), never in their place. The runtime splits options at
    # blanks: the path is quoted, as a source folder may hold some.
    list(APPEND props ENVIRONMENT_MODIFICATION
         "TSAN_OPTIONS=string_append: suppressions=\"${PROJECT_SOURCE_DIR}/cmake/tsan.supp\"")
  endif()
  if(props)
    set(props PROPERTIES ${props})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${props})
endfunction()

# kiv_add_tcl_package(TARGET MODULE INTERFACE)
# Builds the Tcl package MODULE (for example kiv_zip) into the library
# TARGET: SWIG generates its commands from INTERFACE (which includes
# core/swig/kiv_swig.i first), and the library exports Kiv_zip_Init and
# Kiv_zip_SafeInit. All packages share one SWIG type table ("kiv"), so an
# object made by one library's commands is accepted by another's.
set(KIV_SWIG_DIR ${CMAKE_CURRENT_LIST_DIR}/../core/swig)
function(kiv_add_tcl_package target module interface)
  string(SUBSTRING ${module} 0 1 first)
  string(TOUPPER ${first} first)
  string(SUBSTRING ${module} 1 -1 rest)
  set(KIV_TCL_MODULE ${module})
  set(KIV_TCL_PREFIX ${first}${rest})
  set(swig_target ${module}_tcl)
  set_property(SOURCE ${interface} PROPERTY CPLUSPLUS ON)
  set_property(SOURCE ${interface} PROPERTY SWIG_MODULE_NAME ${module})
  set_property(SOURCE ${interface} PROPERTY USE_TARGET_INCLUDE_DIRECTORIES ON)
  set_property(SOURCE ${interface} PROPERTY SWIG_FLAGS -nosafe)
  set(SWIG_USE_SWIG_DEPENDENCIES ON)
  swig_add_library(${swig_target} TYPE OBJECT LANGUAGE tcl
                   OUTPUT_DIR ${CMAKE_CURRENT_BINARY_DIR}/swig
                   OUTFILE_DIR ${CMAKE_CURRENT_BINARY_DIR}/swig
                   SOURCES ${interface})
  target_include_directories(${swig_target} PRIVATE
    ${KIV_SWIG_DIR}
    $<TARGET_PROPERTY:${target},INCLUDE_DIRECTORIES>
    ${PROJECT_SOURCE_DIR}/core/include)
  target_include_directories(${swig_target} SYSTEM PRIVATE ${TCL_INCLUDE_PATH})
  # The generated initialiser is renamed and hidden; the exported ones
  # come from the package file below.
  target_compile_definitions(${swig_target} PRIVATE
    SWIG_TYPE_TABLE=kiv SWIGEXPORT= ${KIV_TCL_PREFIX}_Init=${module}_swig_init)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/tcl_package.cpp.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${module}_package.cpp @ONLY)
  target_sources(${target} PRIVATE $<TARGET_OBJECTS:${swig_target}>
                 ${CMAKE_CURRENT_BINARY_DIR}/${module}_package.cpp)
endfunction()

# KIV_TCLSH_ENV: what a test puts before "tclsh8.6" when it loads our
# libraries into that (uninstrumented) program: sanitizer builds preload
# their runtime.
set(KIV_TCLSH_ENV "")
if(KIV_SANITIZE STREQUAL "address")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE asan_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libubsan.so
                  OUTPUT_VARIABLE ubsan_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(KIV_TCLSH_ENV "env LD_PRELOAD=${asan_lib}:${ubsan_lib} ASAN_OPTIONS=detect_leaks=0")
elseif(KIV_SANITIZE STREQUAL "thread")
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libtsan.so
                  OUTPUT_VARIABLE tsan_lib OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(KIV_TCLSH_ENV "env LD_PRELOAD=${tsan_lib}")
endif()
