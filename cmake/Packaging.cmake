# What a Debian desktop tool ships besides its programs: manual pages, bash
# completion, AppStream metadata and the package's documents, and the
# settings with which `cpack` (make deb) builds the Debian package.

set(KESTRUNE_MAN_PAGES ${PROJECT_SOURCE_DIR}/docs/man/kestrune-cli.1.in)
if(KESTRUNE_BUILD_GUI)
  list(APPEND KESTRUNE_MAN_PAGES ${PROJECT_SOURCE_DIR}/docs/man/kestrune.1.in)
  install(FILES ${PROJECT_SOURCE_DIR}/data/org.kestrune.kestrune.metainfo.xml DESTINATION share/metainfo)
endif()
install(CODE "
  set(KESTRUNE_MAN_PAGES \"${KESTRUNE_MAN_PAGES}\")
  set(KESTRUNE_MAN_WORK \"${PROJECT_BINARY_DIR}/man\")
  set(KESTRUNE_PROGRAM_DIR \"${KESTRUNE_PROGRAM_DIR}\")
  set(PROJECT_VERSION \"${PROJECT_VERSION}\")
")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/InstallManPages.cmake)

install(FILES ${PROJECT_SOURCE_DIR}/data/kestrune-cli.bash
  DESTINATION share/bash-completion/completions RENAME kestrune-cli)

# A package whose version has no Debian revision is native: its one
# changelog is installed as changelog.gz.
set(KESTRUNE_CHANGELOG ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${KESTRUNE_CHANGELOG}
  COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/data/changelog > ${KESTRUNE_CHANGELOG}
  DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog
  VERBATIM)
add_custom_target(kestrune_changelog ALL DEPENDS ${KESTRUNE_CHANGELOG})
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${KESTRUNE_CHANGELOG} DESTINATION share/doc/kestrune)

set(KESTRUNE_PACKAGE_MAINTAINER "Kestrune maintainers <maintainers@kestrune.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kestrune)
set(CPACK_PACKAGE_VENDOR "The Kestrune developers")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.kestrune.org/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "apply ready-made fixes to a home router's configuration file")
set(CPACK_PACKAGE_DESCRIPTION
  "Kestrune applies a fix to the configuration file of a home router: a .bin
config container, which it backs up, unpacks and packs again, or a plain XML
file. A fix lists changes to nodes of the XML configuration: delete a node
or an attribute, set a node's text or an attribute, or create a missing node
and set it.

The package holds the window, kestrune, the command kestrune-cli, which
also packs, unpacks and checks config containers, enciphers and shows fix
files and makes a fix from two configurations, and a set of sample fixes.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KESTRUNE_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# dpkg-shlibdeps names the packages of the libraries the programs load.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
