# The Windows installer, tracewell-<version>-windows-setup.exe: both bitnesses of tracewell.ds and
# of the adapter each loads, the command and the README. Each Windows build installs its own part;
# the win64 build packs them with `cpack -G NSIS`, taking the win32 build's install as well
# (TRACEWELL_WIN32_BUILD_DIR). Below the install folder (default %ProgramFiles%\Tracewell):
#   bin\tracewell.exe                 the 32-bit command, which runs on every Windows; on the PATH
#   x64\tracewell.ds, x86\tracewell.ds  what `tracewell attach` copies beside a source of that bitness
#   x64\, x86\ also the adapter, where TRACEWELL_WRAPPED_SOURCE names it
#   README.md
# Nothing goes into twain_32 or twain_64, so installing alone changes nothing a Source Manager offers.
if(TRACEWELL_TWAIN_ABI STREQUAL "win64")
  set(tracewell_arch_dir x64)
else()
  set(tracewell_arch_dir x86)
endif()

install(TARGETS tracewell_ds RUNTIME DESTINATION ${tracewell_arch_dir} LIBRARY DESTINATION ${tracewell_arch_dir})
if(TARGET tracewell_adapter)
  get_filename_component(adapter_name "${TRACEWELL_WRAPPED_SOURCE}" NAME)
  get_filename_component(adapter_dir "${TRACEWELL_WRAPPED_SOURCE}" DIRECTORY)
  get_filename_component(adapter_dir_name "${adapter_dir}" NAME)
  if(NOT adapter_dir_name STREQUAL tracewell_arch_dir)
    message(WARNING "TRACEWELL_WRAPPED_SOURCE (${TRACEWELL_WRAPPED_SOURCE}) is not in the installer's "
                    "${tracewell_arch_dir} folder: the installed tracewell.ds will not find its adapter")
  endif()
  install(FILES $<TARGET_FILE:tracewell_adapter> DESTINATION ${tracewell_arch_dir} RENAME "${adapter_name}")
endif()
if(TRACEWELL_TWAIN_ABI STREQUAL "win32")
  if(TARGET tracewell_command)
    install(TARGETS tracewell_command RUNTIME DESTINATION bin)
  else()
    message(STATUS "This build has no tracewell command: an installer packed with it lacks bin\\tracewell.exe")
  endif()
  return()
endif()
install(FILES README.md DESTINATION .)

set(TRACEWELL_WIN32_BUILD_DIR "" CACHE PATH "The win32 build whose install the Windows installer holds too")
if(NOT TRACEWELL_WIN32_BUILD_DIR)
  message(STATUS "TRACEWELL_WIN32_BUILD_DIR is not set: the installer holds the 64-bit build alone")
endif()
set(CPACK_GENERATOR NSIS)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME Tracewell)
set(CPACK_PACKAGE_VENDOR Tracewell)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "TWAIN data source that traces every call to an existing data source")
set(CPACK_PACKAGE_FILE_NAME "tracewell-${PROJECT_VERSION}-windows-setup")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Tracewell)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Tracewell)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME "Tracewell ${PROJECT_VERSION}")
set(CPACK_NSIS_DISPLAY_NAME "Tracewell ${PROJECT_VERSION}")
# The installer adds bin\ to every user's PATH unless told otherwise on its options page; its own
# copy of that page's template (found through the module path) has that choice selected, also for
# a silent install (/S).
set(CPACK_NSIS_MODIFY_PATH ON)
list(PREPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/packaging)
file(READ ${CMAKE_CURRENT_LIST_DIR}/packaging/uninstall-check.nsh CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};Tracewell;ALL;/")
if(TRACEWELL_WIN32_BUILD_DIR)
  list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${TRACEWELL_WIN32_BUILD_DIR};Tracewell;ALL;/")
endif()
include(CPack)
