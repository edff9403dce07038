# The in-process suite of the Windows builds, run under Wine (CMAKE_CROSSCOMPILING_EMULATOR): the
# test files that need no fork, no ELF module and no installed Linux tree, with the same cases as
# every other build, and the cases of the Windows module itself (test_windows.cpp).

# GoogleTest from its sources, built with the cross compiler.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(library IN ITEMS gtest gtest_main gmock gmock_main)
  target_compile_options(${library} PRIVATE -Wno-error)
endforeach()

# Paths compiled into the programs name the build tree as Wine sees it: the host's root is Z:.
set(wine_root "Z:")

# The virtual scanner as a standard data source (and a second model of it, with a ProductName of
# its own), an adapter that forwards to it, and a build of tracewell.ds that wraps that adapter and
# traces into the build tree.
set(STANDARD_DIR ${CMAKE_CURRENT_BINARY_DIR}/standard)
corvale_add_standard(corvale_standard ${STANDARD_DIR})
set(SECOND_MODEL_DIR ${CMAKE_CURRENT_BINARY_DIR}/second-model)
corvale_add_standard(corvale_second_model ${SECOND_MODEL_DIR} "CORVALE_PRODUCT_NAME=\"Corvale F20\"")
set(ADAPTER_DIR ${CMAKE_CURRENT_BINARY_DIR}/adapters)
tracewell_add_adapter(adapter_standard ${ADAPTER_DIR}/standard ${wine_root}${STANDARD_DIR}/corvale.ds)
set(LOADER_DIR ${CMAKE_CURRENT_BINARY_DIR}/loader)
tracewell_add_module(tracewell_ds_loader ${LOADER_DIR} ${wine_root}${ADAPTER_DIR}/standard/tracewell-adapter.dll
                     ${wine_root}${LOADER_DIR}/log)

set(WINDOWS_TEST_FILES
  test_capabilities.cpp test_check.cpp test_entry.cpp test_logger.cpp test_report.cpp test_report_output.cpp
  test_requestline.cpp test_result.cpp test_round_trip.cpp test_sent_copy.cpp test_structures.cpp test_tables.cpp
  test_windows.cpp test_session.cpp test_host_sessions.cpp)
# Their suites that run the tracewell command, which has no Windows build yet.
set(WINDOWS_SKIPPED_SUITES "CheckAgainstHost.*:ReportAgainstHost.*:ReportCommand.*")
list(TRANSFORM WINDOWS_TEST_FILES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/)
set(support ${CMAKE_CURRENT_SOURCE_DIR}/support)
get_target_property(scanner_sources corvale_bundle SOURCES)
add_executable(tracewell_tests ${WINDOWS_TEST_FILES} ${support}/TestSupport.cpp ${support}/TraceCalls.cpp ${support}/HostRuns.cpp
                               ${support}/TestConfig.cpp ${support}/Memory_windows.cpp ${support}/Processes_windows.cpp
                               ${scanner_sources})
target_include_directories(tracewell_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/Common/TwainLog
                                                   ${PROJECT_SOURCE_DIR}/sample)
target_link_libraries(tracewell_tests PRIVATE tracewell_core tracewell_report tracewell_alloc_counter gtest_main gmock)
target_compile_definitions(tracewell_tests PRIVATE
  "TRACEWELL_SOURCE_DIR=\"${wine_root}${PROJECT_SOURCE_DIR}\""
  "TRACEWELL_ABI_NAME=\"${TRACEWELL_TWAIN_ABI}\""
  "TRACEWELL_TEST_VERSION=\"${PROJECT_VERSION}\""
  "TRACEWELL_TEST_LOG_DIR=\"${wine_root}${CMAKE_CURRENT_BINARY_DIR}/inprocess-log\""
  "LOADER_MODULE=\"${wine_root}${LOADER_DIR}/tracewell.ds\""
  "LOADER_LOG_DIR=\"${wine_root}${LOADER_DIR}/log\""
  "LOADER_ADAPTER=\"${wine_root}${ADAPTER_DIR}/standard/tracewell-adapter.dll\""
  "STANDARD_SOURCE=\"${wine_root}${STANDARD_DIR}/corvale.ds\""
  "SECOND_MODEL_SOURCE=\"${wine_root}${SECOND_MODEL_DIR}/corvale.ds\""
  "TRACEWELL_BINARY_DIR=\"${wine_root}${CMAKE_BINARY_DIR}\""
  "TRACEWELL_COMMAND=\"${wine_root}${CMAKE_BINARY_DIR}/tools/tracewell/tracewell.exe\""
  "TRACEWELL_SANITIZED=0"
  # The session host and the demo data source (over the adapter and the scanner's standard build);
  # the host's DSM_Entry is its own function, and the traces are the linux build's but for pointers.
  "ADAPTED_MODULE=\"${wine_root}${LOADER_DIR}/tracewell.ds\""
  "ADAPTED_LOG_DIR=\"${wine_root}${LOADER_DIR}/log\""
  "HOST_PROGRAM=\"${wine_root}${CMAKE_BINARY_DIR}/host/tracewell_host.exe\""
  "DEMO_MODULE=\"${wine_root}${TRACEWELL_DEMO_DIR}/tracewell.ds\""
  "DEMO_LOG_DIR=\"${wine_root}${TRACEWELL_DEMO_DIR}/log\""
  "DEMO_TRACED_SOURCE=\"${wine_root}${TRACEWELL_DEMO_DIR}/adapter/tracewell-adapter.dll\""
  "NOT_A_SOURCE_MODULE=\"${wine_root}${CMAKE_CURRENT_BINARY_DIR}/notasource/notasource.dll\""
  "MISSING_MODULE_REASON=\"Module not found\""
  "SESSION_GOLDEN_ABI=\"linux\""
  "GOLDEN_MASKS_POINTERS=1"
  "HOST_MANAGER_IN_PROGRAM=1")
add_dependencies(tracewell_tests corvale_standard corvale_second_model adapter_standard tracewell_ds_loader tracewell_host)

# A DLL that exports nothing, for the session host to refuse as a data source.
add_library(not_a_source SHARED modules/NotASource.cpp)
target_link_options(not_a_source PRIVATE -Wl,--exclude-all-symbols)
set_target_properties(not_a_source PROPERTIES PREFIX "" OUTPUT_NAME notasource SUFFIX ".dll"
                                              RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/notasource)
add_dependencies(tracewell_tests not_a_source)

# 32-bit: a TWAIN 1.x source that imports DSM_Entry from TWAIN_32.DLL (a stand-in placed beside the
# session host, where the loader finds it), and a build of tracewell.ds over an adapter to it.
if(TRACEWELL_TWAIN_ABI STREQUAL "win32")
  set(LEGACY_DIR ${CMAKE_CURRENT_BINARY_DIR}/legacy)
  add_library(legacy_twain32 SHARED modules/Twain32.cpp modules/twain_32.def)
  add_library(legacy_source SHARED modules/LegacySource.cpp)
  foreach(target IN ITEMS legacy_twain32 legacy_source)
    target_link_libraries(${target} PRIVATE tracewell_abi)
    target_link_options(${target} PRIVATE -Wl,--kill-at)
  endforeach()
  # The import library maps the __stdcall symbol DSM_Entry@24 to the plain export name.
  find_program(TRACEWELL_DLLTOOL NAMES i686-w64-mingw32-dlltool REQUIRED)
  set(legacy_implib ${LEGACY_DIR}/libtwain_32_import.a)
  add_custom_command(OUTPUT ${legacy_implib}
                     COMMAND ${TRACEWELL_DLLTOOL} -k -d ${CMAKE_CURRENT_SOURCE_DIR}/modules/twain_32.def -l ${legacy_implib}
                     DEPENDS modules/twain_32.def)
  add_custom_target(legacy_twain32_import DEPENDS ${legacy_implib})
  add_dependencies(legacy_source legacy_twain32_import legacy_twain32)
  target_link_libraries(legacy_source PRIVATE ${legacy_implib})
  set_target_properties(legacy_twain32 PROPERTIES PREFIX "" OUTPUT_NAME TWAIN_32 SUFFIX ".DLL"
                                                  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host)
  set_target_properties(legacy_source PROPERTIES PREFIX "" OUTPUT_NAME legacy SUFFIX ".ds"
                                                 RUNTIME_OUTPUT_DIRECTORY ${LEGACY_DIR}/source)
  tracewell_add_adapter(adapter_legacy ${LEGACY_DIR}/adapter ${wine_root}${LEGACY_DIR}/source/legacy.ds)
  tracewell_add_module(tracewell_ds_legacy ${LEGACY_DIR} ${wine_root}${LEGACY_DIR}/adapter/tracewell-adapter.dll
                       ${wine_root}${LEGACY_DIR}/log)
  target_sources(tracewell_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/test_legacy_source_windows.cpp)
  target_compile_definitions(tracewell_tests PRIVATE
    "LEGACY_SOURCE=\"${wine_root}${LEGACY_DIR}/source/legacy.ds\""
    "LEGACY_MODULE=\"${wine_root}${LEGACY_DIR}/tracewell.ds\""
    "LEGACY_LOG_DIR=\"${wine_root}${LEGACY_DIR}/log\"")
  add_dependencies(tracewell_tests legacy_source adapter_legacy tracewell_ds_legacy)
endif()

# One ctest entry per test case, listed by running the program under Wine. The cases that load
# the module built into the build tree share its log directory and run one at a time.
include(GoogleTest)
# So do the cases that run the session host (over it, or over the demo data source).
set(loader_suites "WindowsModule.*:Adapter.*:SourceFolder.*:SessionHost.*:Twain2Host.*:LegacySource.*")
gtest_discover_tests(tracewell_tests TEST_FILTER "${loader_suites}" DISCOVERY_TIMEOUT 300 DISCOVERY_MODE PRE_TEST
                     PROPERTIES RESOURCE_LOCK loader-dir TIMEOUT 600)
gtest_discover_tests(tracewell_tests TEST_FILTER "-${loader_suites}:${WINDOWS_SKIPPED_SUITES}"
                     DISCOVERY_TIMEOUT 300 DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 600)
