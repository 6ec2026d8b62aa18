# Build settings shared by every target of the project.

set(KIV_WARNINGS -Wall -Wextra)

if(KIV_SANITIZE STREQUAL "address")
  set(KIV_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=undefined
                    -fno-omit-frame-pointer)
elseif(KIV_SANITIZE STREQUAL "thread")
  set(KIV_SAN_FLAGS -fsanitize=thread -fno-omit-frame-pointer)
elseif(KIV_FUZZ)
  set(KIV_SAN_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
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
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
  target_link_options(${name} PRIVATE -Wl,-Bsymbolic)
  # Sanitizer runtimes live in the program, so only plain builds can
  # insist that a library resolves every symbol itself.
  if(NOT KIV_SAN_FLAGS)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
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
  target_compile_options(${name} PRIVATE ${KIV_WARNINGS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main Threads::Threads)
  set(props "")
  if(T_LABELS)
    list(APPEND props LABELS "${T_LABELS}")
  endif()
  if(KIV_SANITIZE STREQUAL "thread")
    list(APPEND props ENVIRONMENT "TSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/cmake/tsan.supp")
  endif()
  if(props)
    set(props PROPERTIES ${props})
  endif()
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 ${props})
endfunction()
