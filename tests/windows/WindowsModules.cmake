# Real Windows DLLs and a search probe, built with the MinGW cross compilers when they are
# installed, for the tests of the command's PE reading and of the Source Manager's "*.ds" search,
# and the check of the command's Windows file system layer (these two run under Wine when that is
# installed too). Without them those tests skip.
find_program(TRACEWELL_MINGW64_CC x86_64-w64-mingw32-gcc-posix)
find_program(TRACEWELL_MINGW32_CC i686-w64-mingw32-gcc-posix)
find_program(TRACEWELL_WINE wine)
set(WINDOWS_MODULES_DIR "")
set(WINDOWS_FIND_PROBE "")
set(WINDOWS_HOST_CHECK "")
if(TRACEWELL_MINGW64_CC AND TRACEWELL_MINGW32_CC AND NOT WIN32)
  set(WINDOWS_MODULES_DIR ${CMAKE_CURRENT_BINARY_DIR}/windows)
  set(tiny ${CMAKE_CURRENT_SOURCE_DIR}/windows/tiny_source.c)
  set(outputs "")
  # NAME COMPILER FLAGS...: the stdcall name is exported plain (--kill-at) unless asked otherwise.
  foreach(spec IN ITEMS
      "source64|${TRACEWELL_MINGW64_CC}|-Wl,--kill-at"
      "source32|${TRACEWELL_MINGW32_CC}|-Wl,--kill-at"
      "decorated32|${TRACEWELL_MINGW32_CC}|"
      "tracewell64|${TRACEWELL_MINGW64_CC}|-DMARKER;-Wl,--kill-at"
      "tracewell32|${TRACEWELL_MINGW32_CC}|-DMARKER;-Wl,--kill-at"
      "noexports64|${TRACEWELL_MINGW64_CC}|-DNO_EXPORTS;-Wl,--exclude-all-symbols")
    string(REPLACE "|" ";" parts "${spec}")
    list(GET parts 0 name)
    list(GET parts 1 compiler)
    list(SUBLIST parts 2 -1 flags)
    list(JOIN flags ";" flags)
    add_custom_command(OUTPUT ${WINDOWS_MODULES_DIR}/${name}.ds
      COMMAND ${CMAKE_COMMAND} -E make_directory ${WINDOWS_MODULES_DIR}
      COMMAND ${compiler} -shared -O1 -o ${WINDOWS_MODULES_DIR}/${name}.ds ${tiny} ${flags}
      DEPENDS ${tiny} COMMAND_EXPAND_LISTS VERBATIM)
    list(APPEND outputs ${WINDOWS_MODULES_DIR}/${name}.ds)
  endforeach()
  if(TRACEWELL_WINE)
    set(WINDOWS_FIND_PROBE ${WINDOWS_MODULES_DIR}/find_sources.exe)
    set(probe ${CMAKE_CURRENT_SOURCE_DIR}/windows/find_sources.c)
    add_custom_command(OUTPUT ${WINDOWS_FIND_PROBE}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${WINDOWS_MODULES_DIR}
      COMMAND ${TRACEWELL_MINGW64_CC} -municode -O1 -static -o ${WINDOWS_FIND_PROBE} ${probe}
      DEPENDS ${probe} VERBATIM)
    list(APPEND outputs ${WINDOWS_FIND_PROBE})
    # The command's Windows file system layer, checked on Windows itself.
    find_program(TRACEWELL_MINGW64_CXX x86_64-w64-mingw32-g++-posix)
    if(TRACEWELL_MINGW64_CXX)
      set(WINDOWS_HOST_CHECK ${WINDOWS_MODULES_DIR}/host_files_check.exe)
      set(host_sources ${CMAKE_CURRENT_SOURCE_DIR}/windows/host_files_check.cpp
                       ${PROJECT_SOURCE_DIR}/tools/tracewell/HostFilesWindows.cpp)
      add_custom_command(OUTPUT ${WINDOWS_HOST_CHECK}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${WINDOWS_MODULES_DIR}
        COMMAND ${TRACEWELL_MINGW64_CXX} -std=c++17 -O1 -static -Wall -Wextra -Werror
                -I${PROJECT_SOURCE_DIR} -I${PROJECT_SOURCE_DIR}/tools/tracewell -o ${WINDOWS_HOST_CHECK} ${host_sources} -lshell32
        DEPENDS ${host_sources} ${PROJECT_SOURCE_DIR}/tools/tracewell/HostFiles.h
                ${PROJECT_SOURCE_DIR}/Platform/WideText_windows.h VERBATIM)
      list(APPEND outputs ${WINDOWS_HOST_CHECK})
    endif()
  endif()
  add_custom_target(windows_test_modules DEPENDS ${outputs})
  add_dependencies(tracewell_tests windows_test_modules)
endif()
target_compile_definitions(tracewell_tests PRIVATE
  "WINDOWS_MODULES_DIR=\"${WINDOWS_MODULES_DIR}\""
  "WINDOWS_FIND_PROBE=\"${WINDOWS_FIND_PROBE}\""
  "WINDOWS_HOST_CHECK=\"${WINDOWS_HOST_CHECK}\""
  "WINE_COMMAND=\"${TRACEWELL_WINE}\"")
