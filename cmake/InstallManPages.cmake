# Runs at install time: the pages name the program's folder under the prefix
# being installed to, which only then is known (cpack installs to /usr).
# Expects KESTRUNE_MAN_PAGES (source templates), KESTRUNE_MAN_WORK (a folder
# of the build tree), KESTRUNE_PROGRAM_DIR and PROJECT_VERSION.
if(IS_ABSOLUTE "${KESTRUNE_PROGRAM_DIR}")
  set(KESTRUNE_MAN_PROGRAM_DIR "${KESTRUNE_PROGRAM_DIR}")
else()
  set(KESTRUNE_MAN_PROGRAM_DIR "${CMAKE_INSTALL_PREFIX}/${KESTRUNE_PROGRAM_DIR}")
endif()
foreach(template IN LISTS KESTRUNE_MAN_PAGES)
  get_filename_component(page "${template}" NAME_WLE)
  configure_file("${template}" "${KESTRUNE_MAN_WORK}/${page}" @ONLY)
  # Debian wants the pages compressed at the highest level, without a name
  # or time stamp, so that the same page gives the same bytes.
  execute_process(COMMAND gzip -9nf "${KESTRUNE_MAN_WORK}/${page}" COMMAND_ERROR_IS_FATAL ANY)
  file(INSTALL "${KESTRUNE_MAN_WORK}/${page}.gz" DESTINATION "${CMAKE_INSTALL_PREFIX}/share/man/man1")
endforeach()
