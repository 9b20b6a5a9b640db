# SPDX-License-Identifier: GPL-3.0-or-later
# The client code of Wayland protocols, generated from their definitions with
# wayland-scanner into the calling folder's build tree.
include_guard(GLOBAL)
find_program(WAYLAND_SCANNER wayland-scanner REQUIRED)

# tarn_wayland_protocols(<target> <protocol.xml>...): the client header and the
# code of each protocol become private sources of the target, whose sources
# include the headers by the protocol's name ("<name>-client.h").
function(tarn_wayland_protocols target)
  set(generated ${CMAKE_CURRENT_BINARY_DIR}/protocols)
  file(MAKE_DIRECTORY ${generated})
  foreach(xml IN LISTS ARGN)
    get_filename_component(protocol ${xml} NAME_WLE)
    add_custom_command(
      OUTPUT ${generated}/${protocol}-client.h ${generated}/${protocol}.c
      COMMAND ${WAYLAND_SCANNER} client-header ${xml} ${generated}/${protocol}-client.h
      COMMAND ${WAYLAND_SCANNER} private-code ${xml} ${generated}/${protocol}.c
      DEPENDS ${xml} VERBATIM)
    target_sources(${target} PRIVATE ${generated}/${protocol}-client.h ${generated}/${protocol}.c)
  endforeach()
  target_include_directories(${target} PRIVATE ${generated})
endfunction()
