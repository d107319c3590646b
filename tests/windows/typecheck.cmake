# Run by CTest: configures typecheck/ for Windows into BINARY_DIR once, then checks every
# source the Windows build compiles; only files changed since the last run are read again.
# Expects SOURCE_DIR, BINARY_DIR, QT_HEADERS and VERSION.
find_program(MINGW_CXX x86_64-w64-mingw32-g++)
if(NOT MINGW_CXX)
  set(why "needs the MinGW cross compiler (tools/install-deps.sh windows installs it)")
  if("$ENV{CI}" STREQUAL "true")
    message(FATAL_ERROR "${why}")
  endif()
  message("Skipped: ${why}")
  return()
endif()

if(NOT EXISTS ${BINARY_DIR}/Makefile)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -G "Unix Makefiles" -S ${SOURCE_DIR}/tests/windows/typecheck
      -B ${BINARY_DIR} -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_CXX_COMPILER=${MINGW_CXX}
      -DQUORVANE_SOURCE_DIR=${SOURCE_DIR} -DQUORVANE_QT_HEADERS=${QT_HEADERS}
      -DQUORVANE_VERSION=${VERSION}
    RESULT_VARIABLE result)
  if(result)
    file(REMOVE ${BINARY_DIR}/Makefile)
    message(FATAL_ERROR "configuring the sources for Windows failed")
  endif()
endif()
# -k: every file with a mistake is named, not only the first.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} -j 2 -- -k RESULT_VARIABLE result)
if(result)
  message(FATAL_ERROR "a source does not compile for Windows")
endif()
