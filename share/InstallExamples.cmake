# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the examples so that they run from where they are installed: the
# paths the repository's copies give from its top folder (where they run, as
# scripts/demo.sh runs the demo) become those of the installed files. Run by
# `cmake --install` and by cpack, with TARN_EXAMPLES_SOURCE set; the
# installation prefix is known only then (cpack installs into /usr).
set(doc "${CMAKE_INSTALL_PREFIX}/share/doc/tarn")
set(dest "$ENV{DESTDIR}${doc}/examples")
file(MAKE_DIRECTORY "${dest}")
foreach(name demo.mcr run-execute.mcr variables-and-timeout.mcr)
  file(READ "${TARN_EXAMPLES_SOURCE}/${name}" text)
  string(REPLACE "bash examples/" "bash ${doc}/examples/" text "${text}")
  string(REPLACE ",README.md" ",${doc}/README.md" text "${text}")
  string(REPLACE "Explore,examples" "Explore,${doc}/examples" text "${text}")
  message(STATUS "Installing: ${dest}/${name}")
  file(WRITE "${dest}/${name}" "${text}")
endforeach()
# Plain files, the demo's target script included: the demo starts it through bash.
file(INSTALL "${TARN_EXAMPLES_SOURCE}/demo-target.sh" DESTINATION "${doc}/examples"
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
