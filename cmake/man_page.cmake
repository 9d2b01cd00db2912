# Run by `cmake --install` (and CPack) before the man page is installed: a
# copy of doc/asfinspect.1 whose paths to the documents and to the bash
# completion are those of this install, whatever its prefix. Takes
# ASFINSPECT_SOURCE_DIR, ASFINSPECT_BINARY_DIR, ASFINSPECT_DOCDIR and
# ASFINSPECT_DATADIR (relative to the prefix, or absolute).

foreach(dir DOCDIR DATADIR)
  if(IS_ABSOLUTE "${ASFINSPECT_${dir}}")
    set(${dir} "${ASFINSPECT_${dir}}")
  else()
    set(${dir} "${CMAKE_INSTALL_PREFIX}/${ASFINSPECT_${dir}}")
  endif()
endforeach()

file(READ "${ASFINSPECT_SOURCE_DIR}/doc/asfinspect.1" page)
string(REPLACE "/usr/share/doc/asfinspect" "${DOCDIR}" page "${page}")
string(REPLACE "/usr/share/bash\\-completion" "${DATADIR}/bash\\-completion" page "${page}")
file(WRITE "${ASFINSPECT_BINARY_DIR}/asfinspect.1" "${page}")
