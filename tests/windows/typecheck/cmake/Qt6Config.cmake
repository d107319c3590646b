# Qt for Windows as headers only: the Linux build's headers (QUORVANE_QT_HEADERS), seen
# through qt/ first, which switches off the Linux-only features that Qt's Windows headers
# would otherwise reach for. UNICODE is what Qt's own package sets for Windows programs.
# Every module with headers is offered, so a module the program starts to use is checked
# without a change here.
file(GLOB modules RELATIVE ${QUORVANE_QT_HEADERS} ${QUORVANE_QT_HEADERS}/Qt*)
foreach(module ${modules})
  string(REGEX REPLACE "^Qt" "" component ${module})
  if(NOT TARGET Qt6::${component})
    string(TOUPPER ${component} upper)
    add_library(Qt6::${component} INTERFACE IMPORTED)
    set_target_properties(Qt6::${component} PROPERTIES
      INTERFACE_INCLUDE_DIRECTORIES
        "${CMAKE_CURRENT_LIST_DIR}/../qt;${QUORVANE_QT_HEADERS};${QUORVANE_QT_HEADERS}/${module}"
      INTERFACE_COMPILE_DEFINITIONS "QT_${upper}_LIB;UNICODE;_UNICODE")
  endif()
  set(Qt6${component}_FOUND TRUE)
endforeach()
set(Qt6_FOUND TRUE)
