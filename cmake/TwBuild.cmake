# Build policy shared by every component: warnings, visibility, install
# paths, the shape of a shipped shared library, and test registration.

# Absolute installed paths; the programs compile them in, DESTDIR stages them.
set(TW_ROOT        "/opt/quorrel")
set(TW_KW_BIN      "${TW_ROOT}/zel-kw/bin")
set(TW_KW_CNF      "${TW_ROOT}/zel-kw/cnf")
set(TW_KW_LOG      "${TW_ROOT}/zel-kw/log")
set(TW_PX_LIB      "${TW_ROOT}/zel-px/lib")
set(TW_TOOL_DIR    "${TW_ROOT}/zel-px/tool")
set(TW_VESK_ETC    "${TW_ROOT}/VESKLib2/etc")

add_compile_options(-Wall -Wextra -Werror)
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "" FORCE)
endif()

if(TW_SANITIZE STREQUAL "address")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
elseif(TW_SANITIZE STREQUAL "thread")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()

# tw_shared_library(<target> OUTPUT_NAME <stem> VERSION_SCRIPT <file>
#                   SOURCES ... [THREAD_SAFE] [INSTALL_DIR <dir>] [INCLUDES ...])
# A shipped library: hidden visibility, exports only what the version script
# lists, SONAME equal to its file name, C++ runtime linked in statically so
# that it needs nothing beyond libc, libpthread, libdl and the loader.
# TW_THREAD_SAFE (0 or 1) is the one compile-time switch between variants.
function(tw_shared_library target)
  cmake_parse_arguments(A "THREAD_SAFE" "OUTPUT_NAME;VERSION_SCRIPT;INSTALL_DIR" "SOURCES;INCLUDES;DEFINES" ${ARGN})
  add_library(${target} SHARED ${A_SOURCES})
  set_target_properties(${target} PROPERTIES
    OUTPUT_NAME "${A_OUTPUT_NAME}"
    NO_SONAME OFF
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    LINK_DEPENDS "${A_VERSION_SCRIPT}")
  if(A_THREAD_SAFE)
    target_compile_definitions(${target} PRIVATE TW_THREAD_SAFE=1)
  else()
    target_compile_definitions(${target} PRIVATE TW_THREAD_SAFE=0)
  endif()
  target_compile_definitions(${target} PRIVATE ${A_DEFINES})
  target_include_directories(${target} PUBLIC "${CMAKE_SOURCE_DIR}/include" PRIVATE ${A_INCLUDES})
  target_link_options(${target} PRIVATE
    "-Wl,--version-script=${A_VERSION_SCRIPT}"
    "-Wl,-soname,lib${A_OUTPUT_NAME}.so"
    -Wl,--no-undefined -Wl,--as-needed -Wl,-z,now -Wl,-z,relro)
  if(TW_SANITIZE STREQUAL "none")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  target_link_libraries(${target} PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
  if(A_INSTALL_DIR)
    install(TARGETS ${target} LIBRARY DESTINATION "${A_INSTALL_DIR}")
  endif()
endfunction()

# tw_program(<target> SOURCES ... [INSTALL_DIR <dir>]): a shipped program.
function(tw_program target)
  cmake_parse_arguments(A "" "INSTALL_DIR" "SOURCES;INCLUDES;DEFINES" ${ARGN})
  add_executable(${target} ${A_SOURCES})
  target_include_directories(${target} PRIVATE "${CMAKE_SOURCE_DIR}/include" ${A_INCLUDES})
  target_compile_definitions(${target} PRIVATE ${A_DEFINES})
  target_link_options(${target} PRIVATE -Wl,--as-needed -Wl,-z,now -Wl,-z,relro)
  if(TW_SANITIZE STREQUAL "none")
    target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
  endif()
  target_link_libraries(${target} PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
  if(A_INSTALL_DIR)
    install(TARGETS ${target} RUNTIME DESTINATION "${A_INSTALL_DIR}")
  endif()
endfunction()

# tw_add_test(<name> SOURCES ... [LIBS ...] [LABELS ...] [SANDBOX])
# A GoogleTest binary registered with CTest. SANDBOX tests start inside a
# private mount namespace with the staged tree at its real path, a private
# /tmp and a capturing /dev/log (tests/harness); they need root.
function(tw_add_test name)
  cmake_parse_arguments(A "SANDBOX" "TIMEOUT" "SOURCES;LIBS;LABELS;DEFINES" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_include_directories(${name} PRIVATE "${CMAKE_SOURCE_DIR}/include" "${CMAKE_SOURCE_DIR}/tests")
  target_compile_definitions(${name} PRIVATE ${A_DEFINES})
  if(A_SANDBOX)
    target_link_libraries(${name} PRIVATE tw_harness tw_sandbox_main)
  else()
    target_link_libraries(${name} PRIVATE tw_harness tw_test_main)
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS} gtest gmock Threads::Threads ${CMAKE_DL_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 300)
  endif()
  # 77: passed, but skipped what could not mean anything under user-mode
  # emulation (tests/harness/emulation.h); counted apart from passes.
  set_tests_properties(${name} PROPERTIES LABELS "bits${TW_BITS};${A_LABELS}" TIMEOUT ${A_TIMEOUT}
                       SKIP_RETURN_CODE 77)
endfunction()

# tw_check_exports(<target> <expected-symbols-file>): asserts on the staged
# file what it exports (with version node), its SONAME and its NEEDED list.
function(tw_check_exports target expected installed_path)
  if(NOT TW_SANITIZE STREQUAL "none")
    return()  # sanitizer runtimes add NEEDED entries and symbols of their own
  endif()
  add_test(NAME exports_${target}
    COMMAND "${CMAKE_SOURCE_DIR}/tests/exports/check_exports.sh"
            "${TW_STAGE_DIR}${installed_path}" "${expected}")
  set_tests_properties(exports_${target} PROPERTIES LABELS "bits${TW_BITS};exports")
endfunction()

find_package(Threads REQUIRED)
