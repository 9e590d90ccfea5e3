# `cmake --install`: the layout of a Linux desktop program. The executable goes to bin/ and its
# data to share/glowsmith/, where the program looks when nothing lies beside it (DataFolder).
# `cpack -G DEB`: the same tree as a Debian package.
install(TARGETS glowsmith RUNTIME DESTINATION bin)
install(DIRECTORY data/Profiles data/Languages DESTINATION share/glowsmith)
install(FILES data/desktop/glowsmith.desktop DESTINATION share/applications)
install(FILES data/desktop/glowsmith-pat.xml DESTINATION share/mime/packages)
set(GLOWSMITH_APPSTREAM_ID org.example.nerevy.glowsmith)
configure_file(data/desktop/glowsmith.metainfo.xml.in
  ${CMAKE_BINARY_DIR}/${GLOWSMITH_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/${GLOWSMITH_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)
# The icons are drawn from the about box's logo when installing, so the build itself stays as it was.
install(CODE [[
  set(icons "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/share/icons/hicolor")
  execute_process(COMMAND "$<TARGET_FILE:glowsmith_make_icons>" "${icons}" RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "glowsmith_make_icons failed: ${rc}")
  endif()
  file(GLOB_RECURSE drawn "${icons}/*/apps/glowsmith.png")
  message(STATUS "Drawn: ${icons}/<size>/apps/glowsmith.png")
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES ${drawn})
]])
# Lets a user's account reach the phone on USB, where the rule has been written.
if(EXISTS ${CMAKE_SOURCE_DIR}/data/60-glowsmith-phone.rules)
  install(FILES data/60-glowsmith-phone.rules DESTINATION lib/udev/rules.d)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glowsmith)
set(CPACK_PACKAGE_VENDOR Nerevy)
set(CPACK_PACKAGE_CONTACT "Nerevy <glowsmith@nerevy.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "editor for the light patterns of Motorola P2K phones")
set(CPACK_PACKAGE_DESCRIPTION
  "Glowsmith edits the funlight light patterns of Motorola P2K phones (E398, V3
and their kin), kept in the phone's file funlight.pat: every frame, its
duration and the colour of each light element, and the rhythm lights. It plays
a pattern on a picture of the phone and reads and writes the file on the phone
over USB.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}~beta")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://glowsmith.nerevy.example.org/")
# The libraries from the executable; Qt's platform plugins and its translations are loaded at run
# time, so no library link names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-translations-l10n")
include(CPack)
