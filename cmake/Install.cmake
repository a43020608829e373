# Installation: the two programs, the desktop entry, the icons, the metainfo, the help page and
# the man pages; and the Debian package built from them by CPack.

install(TARGETS brindle brindle-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES ${PROJECT_SOURCE_DIR}/packaging/brindle.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/io.github.brindle.Brindle.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/brindle.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/icons/hicolor/${size}x${size}/apps/brindle.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

# The program looks for its help page at <bin>/../share/brindle/help/helpbrindle.htm.
install(FILES ${PROJECT_SOURCE_DIR}/help/helpbrindle.htm DESTINATION ${BRINDLE_HELP_INSTALL_DIR})

install(FILES ${PROJECT_SOURCE_DIR}/docs/man/brindle.1 ${PROJECT_SOURCE_DIR}/docs/man/brindle-render.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package: make package, then apt-get install ./build-pkg/brindle_*.deb
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "brindle")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Brindle developers")
set(CPACK_PACKAGE_CONTACT "Brindle developers <brindle@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Morse code (CW) tutor and keyer")
# Wrapped for the package's control file; CPack indents each line.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Brindle is a desktop Morse code tutor. It sends typed, pasted or loaded\n"
  "text, random groups, words, Q-codes, phrases and whole texts as a keyed\n"
  "tone through PulseAudio or PipeWire, or keys a transmitter through the RTS\n"
  "and DTR lines of a serial port. It offers Farnsworth and Wordsworth\n"
  "spacing, repeats at rising speed, a single-item mode, a speed test and\n"
  "session statistics.\n"
  "\n"
  "brindle-render writes Morse code to WAV files.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "hamradio")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries cannot name: the Wayland platform of Qt (without it the window goes through
# XWayland, or nowhere where there is none) and a sound server for libpulse to talk to (PipeWire's
# or PulseAudio). Both are Recommends, as apt installs them by default: Brindle still runs without
# them (under X11, or to a sound server on another machine, or keying a serial port).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, pipewire-pulse | pulseaudio")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
if(BRINDLE_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${BRINDLE_HOMEPAGE}")
endif()
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
include(CPack)
