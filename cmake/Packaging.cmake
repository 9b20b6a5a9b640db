# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh
# does the whole build). It holds what `cmake --install` installs: the program,
# help pages, manual page, icons, desktop entry, MIME type, AppStream data and
# the GNOME Shell extension Tarn needs on GNOME Wayland.
# Installing needs only the program and the compressed documents
# (scripts/package.sh builds those), not every test and benchmark.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_PACKAGE_NAME tarn)
set(CPACK_PACKAGE_VENDOR "The Tarn developers")
set(CPACK_PACKAGE_CONTACT "The Tarn developers <tarn@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "macro player for the Linux desktop")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarn plays macros: plain text files of one statement per line that start\n\
programs and documents, wait, find windows by their titles, bring them to\n\
the front, type keystrokes into them, close them and end processes.\n\
The player window starts, stops and traces macros; given a macro file on\n\
its command line Tarn runs it unattended. An editor writes macros and\n\
records keystrokes, and tarn --check finds what a run would refuse.\n\
It works on X11, on wlroots Wayland compositors such as sway and, with the\n\
GNOME Shell extension it installs, on GNOME Wayland.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Libraries from what the program links (dpkg-shlibdeps); the Qt platform
# plugins for X11 and Wayland are loaded at run time, so no link shows them,
# nor the keyboard data xkbcommon compiles Tarn's own keymap from.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, qt6-wayland, xkb-data")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# The README's first macro and the examples type into an xterm.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xterm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
