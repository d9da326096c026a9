# Run by CPack on the staged Debian package: its programs find the library where the loader
# looks anyway, and Debian wants no search path in them; the release zip keeps its own.
file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}/bin/*")
if(NOT programs)
  message(FATAL_ERROR "no programs staged in ${CPACK_TEMPORARY_DIRECTORY}")
endif()
foreach(program IN LISTS programs)
  file(RPATH_REMOVE FILE ${program})
endforeach()
