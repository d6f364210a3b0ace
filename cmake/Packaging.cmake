# Installation under /usr and the Debian package built from it with CPack (tools/package.sh):
#   bin/morlan                                       the program
#   share/applications/morlan.desktop                its desktop menu entry
#   share/icons/hicolor/scalable/apps/morlan.svg     its icon
#   share/man/man1/morlan.1.gz                       its manual page
#   share/doc/morlan/                                README.md, the sample dictionary, copyright,
#                                                    changelog.gz
# Runtime dependencies are read off the linked libraries by dpkg-shlibdeps (package dpkg-dev).
include(GNUInstallDirs)

set(MORLAN_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")
set(MORLAN_PACKAGING_OUT "${PROJECT_BINARY_DIR}/packaging")
set(MORLAN_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/morlan")
# The month of the newest entry in packaging/changelog; the manual page carries it as its date.
set(MORLAN_RELEASE_MONTH "December 2026")

# Directories the package creates are rwxr-xr-x whatever the builder's umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Debian wants the manual page and the changelog compressed, without a name or time stamp in
# the gzip header so that two builds give the same bytes.
configure_file("${MORLAN_PACKAGING_DIR}/morlan.1" "${MORLAN_PACKAGING_OUT}/morlan.1" @ONLY)
set(MORLAN_COMPRESSED_DOCS)
foreach(doc IN ITEMS "${MORLAN_PACKAGING_OUT}/morlan.1" "${MORLAN_PACKAGING_DIR}/changelog")
  get_filename_component(name "${doc}" NAME)
  add_custom_command(
    OUTPUT "${MORLAN_PACKAGING_OUT}/${name}.gz"
    COMMAND gzip -9 -n -c "${doc}" > "${MORLAN_PACKAGING_OUT}/${name}.gz"
    DEPENDS "${doc}"
    COMMENT "Compressing ${name}")
  list(APPEND MORLAN_COMPRESSED_DOCS "${MORLAN_PACKAGING_OUT}/${name}.gz")
endforeach()
add_custom_target(morlan_compressed_docs ALL DEPENDS ${MORLAN_COMPRESSED_DOCS})

if(TARGET morlan)
  install(TARGETS morlan RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
  # A stripped install (cpack) also drops the compiler's version notes, as Debian's own
  # packages do.
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment --remove-section=.note
                      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/morlan\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endif()")
endif()
install(FILES "${MORLAN_PACKAGING_DIR}/morlan.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${MORLAN_PACKAGING_DIR}/morlan.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${MORLAN_PACKAGING_OUT}/morlan.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${MORLAN_PACKAGING_DIR}/copyright"
              "${MORLAN_PACKAGING_OUT}/changelog.gz"
        DESTINATION "${MORLAN_DOC_DIR}")
install(FILES "${PROJECT_SOURCE_DIR}/examples/VRSQ1.qdl" DESTINATION "${MORLAN_DOC_DIR}/examples")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morlan)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "morlan developers")
set(CPACK_PACKAGE_CONTACT "morlan developers <morlan@example.org>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "repair a QDL text dictionary")
# CPack writes the summary as the Description's first line and indents each line below it.
set(CPACK_PACKAGE_DESCRIPTION
    "morlan reads the QDL dictionary VRSQ1.qdl from the folder it is started in
and writes VRSQ2.qdl beside it: every field declaration of type STRING,
DECIMAL, LONG or BYTE that carries no comment gets an external-name attribute
made from its own label, and every line comes out in lower case.

A run is started from the Fix QDL command of the program's window; a progress
window shows how far it has got and lets the person cancel it.")
include(CPack)
