# Installing Quor like any Linux program (cmake --install, tools/package):
#   bin/quor                       the program
#   share/quor/                    everything it reads from share/ (help, the
#                                  demo and its picture, web pages when there)
#   share/applications, share/icons/hicolor, share/metainfo, share/man/man1,
#   share/mime/packages (the project file type)
#   <systemd unit dir>/quor-headless@.service and the sysusers entry
# The installed program finds share/quor from its own folder
# (engine/program_paths.cpp, ui/help_viewer.cpp).
include(GNUInstallDirs)

# The release the AppStream file names; keep it with project(VERSION).
set(QUOR_RELEASE_DATE 2026-12-07)
set(QUOR_APPSTREAM_ID net.quor.quor)
# A web folder that holds docs/main_window.png (the project's public pages)
# adds a screenshot to the AppStream file; AppStream takes only web
# addresses there, and without a real one there is no screenshot entry.
set(QUOR_WEB_URL "" CACHE STRING "Public web address of the project (AppStream homepage and screenshot)")
set(QUOR_APPSTREAM_WEB "")
if(QUOR_WEB_URL)
  string(CONCAT QUOR_APPSTREAM_WEB
    "  <url type=\"homepage\">${QUOR_WEB_URL}</url>\n"
    "  <screenshots>\n    <screenshot type=\"default\">\n"
    "      <caption>The main window with the demo show</caption>\n"
    "      <image type=\"source\">${QUOR_WEB_URL}/docs/main_window.png</image>\n"
    "    </screenshot>\n  </screenshots>\n")
endif()
configure_file(packaging/quor.metainfo.xml.in ${CMAKE_CURRENT_BINARY_DIR}/${QUOR_APPSTREAM_ID}.metainfo.xml @ONLY)

install(TARGETS quor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(QUOR_DATA_DIR ${CMAKE_INSTALL_DATADIR}/quor)
# The icons go to the icon theme below; the rest of share/ as it is.
install(DIRECTORY share/ DESTINATION ${QUOR_DATA_DIR} PATTERN icons EXCLUDE)
# The demo names its picture share/demo-picture.png relative to the folder
# that holds it; installed, that folder is share/quor itself.
install(CODE "
  set(link \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${QUOR_DATA_DIR}/share\")
  file(MAKE_DIRECTORY \"\${link}\")
  file(CREATE_LINK ../demo-picture.png \"\${link}/demo-picture.png\" SYMBOLIC)
")
install(FILES packaging/quor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# Project files (*.qrx) open with Quor.
install(FILES packaging/quor-mime.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME quor.xml)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/${QUOR_APPSTREAM_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES share/icons/quor.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(icon ${QUOR_ICON_FILES})
  get_filename_component(folder ${icon} DIRECTORY)
  file(RELATIVE_PATH folder ${CMAKE_CURRENT_SOURCE_DIR}/share/icons ${CMAKE_CURRENT_SOURCE_DIR}/${folder})
  install(FILES ${icon} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/${folder})
endforeach()

# The man page, made from `quor --help` and `quor --version` by help2man.
# A cross build runs the program through its emulator (qemu-user), by a
# script named quor so that the page names the program as it is installed.
find_program(QUOR_HELP2MAN help2man)
set(QUOR_MAN_PROGRAM $<TARGET_FILE:quor>)
if(CMAKE_CROSSCOMPILING)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(JOIN CMAKE_CROSSCOMPILING_EMULATOR " " emulator)
    set(QUOR_MAN_PROGRAM ${CMAKE_CURRENT_BINARY_DIR}/emulated/quor)
    file(GENERATE OUTPUT ${QUOR_MAN_PROGRAM} CONTENT "#!/bin/sh\nexec ${emulator} $<TARGET_FILE:quor> \"$@\"\n"
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    message(STATUS "Cross build without CMAKE_CROSSCOMPILING_EMULATOR: no man page")
    set(QUOR_HELP2MAN "")
  endif()
endif()
if(QUOR_HELP2MAN)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/quor.1
    COMMAND ${QUOR_HELP2MAN} --no-info --no-discard-stderr --section=1 --name "LED matrix control"
            --version-string=${PROJECT_VERSION} --output=${CMAKE_CURRENT_BINARY_DIR}/quor.1 ${QUOR_MAN_PROGRAM}
    DEPENDS quor VERBATIM)
  add_custom_target(quor_man_page ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/quor.1)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quor.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: no man page (tools/deps --package installs it)")
endif()

# The headless service and its user. The unit folder comes from systemd's
# pkg-config file (/lib/systemd/system on Debian 12).
pkg_get_variable(QUOR_SYSTEMD_UNIT_DIR_DEFAULT systemd systemdsystemunitdir)
if(NOT QUOR_SYSTEMD_UNIT_DIR_DEFAULT)
  set(QUOR_SYSTEMD_UNIT_DIR_DEFAULT ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()
set(QUOR_SYSTEMD_UNIT_DIR ${QUOR_SYSTEMD_UNIT_DIR_DEFAULT} CACHE PATH "Where quor-headless@.service is installed")
install(FILES packaging/quor-headless@.service DESTINATION ${QUOR_SYSTEMD_UNIT_DIR})
install(FILES packaging/quor.sysusers DESTINATION lib/sysusers.d RENAME quor.conf)
