# What `cmake --install` puts on a log host: the server, its companion tools (navquery,
# navreplay, navdisplay, each when this build has it), their manual pages, the operator and
# protocol documents, and a systemd unit for the server.
include(GNUInstallDirs)

# Named for the Debian package rather than the project, so that the package's documents land
# where Debian keeps them whatever the prefix.
set(TAVRIN_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/tavrin-server"
    CACHE PATH "Documents of the server, relative to the install prefix")
# systemd reads units from <prefix>/lib/systemd/system for both /usr and /usr/local.
set(TAVRIN_SYSTEMD_UNITDIR "lib/systemd/system"
    CACHE PATH "Where the systemd unit goes, relative to the install prefix")

set(tavrin_packaging_dir ${CMAKE_CURRENT_LIST_DIR}/../packaging)
cmake_path(NORMAL_PATH tavrin_packaging_dir)

# A daemon's program and its section 8 page go with the system programs; the tools with the
# user commands.
install(TARGETS TavrinServer RUNTIME DESTINATION ${CMAKE_INSTALL_SBINDIR})
foreach(tool navquery navreplay navdisplay)
  if(TARGET ${tool})
    install(TARGETS ${tool} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Manual pages are installed compressed, as man-db and Debian expect them. The server's is
# written by hand; the tools' are made from their --help, so they never fall behind it.
find_program(TAVRIN_HELP2MAN help2man)
set(tavrin_compressed_manpages ${CMAKE_CURRENT_BINARY_DIR}/man/TavrinServer.8.gz)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/man/TavrinServer.8.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
  # -n keeps the name and time stamp out, so the same page always compresses the same.
  COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${tavrin_packaging_dir}/TavrinServer.8
          ${CMAKE_CURRENT_BINARY_DIR}/man/TavrinServer.8.gz
  DEPENDS ${tavrin_packaging_dir}/TavrinServer.8
  COMMENT "Compressing manual page TavrinServer.8"
  VERBATIM)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/TavrinServer.8.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man8)

set(tavrin_navquery_summary "ask a navigation data server for its channels and current values")
set(tavrin_navreplay_summary "send recorded or simulated NMEA sentences to a navigation data server")
set(tavrin_navdisplay_summary "serve a live browser display of a navigation data server's values")
foreach(tool navquery navreplay navdisplay)
  if(NOT TARGET ${tool})
    continue()
  endif()
  if(NOT TAVRIN_HELP2MAN)
    message(STATUS "help2man not found: ${tool} gets no manual page, only its --help")
    continue()
  endif()
  set(page ${CMAKE_CURRENT_BINARY_DIR}/man/${tool}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
    COMMAND ${TAVRIN_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
            --source=tavrin-server "--name=${tavrin_${tool}_summary}" --output=${page}
            $<TARGET_FILE:${tool}>
    COMMAND gzip -9 -n -f ${page}
    DEPENDS ${tool}
    COMMENT "Making manual page ${tool}.1 from its --help"
    VERBATIM)
  list(APPEND tavrin_compressed_manpages ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(tavrin_manpages ALL DEPENDS ${tavrin_compressed_manpages})

install(FILES ${CMAKE_CURRENT_LIST_DIR}/../docs/protocol.md
              ${CMAKE_CURRENT_LIST_DIR}/../docs/operations.md
        DESTINATION ${TAVRIN_DOCDIR})
install(FILES ${tavrin_packaging_dir}/tavrin-firewall.nft DESTINATION ${TAVRIN_DOCDIR}/examples)

# The unit names the installed program by its full path, which is only known when installing:
# /usr/local for a plain `cmake --install`, /usr inside the Debian package. So the unit is
# written from its template at install time, with the prefix then in force.
set(tavrin_unit_settings "
  set(template \"${tavrin_packaging_dir}/tavrin-server.service.in\")
  set(sbindir \"${CMAKE_INSTALL_SBINDIR}\")
  set(docdir \"${TAVRIN_DOCDIR}\")
  set(unitdir \"${TAVRIN_SYSTEMD_UNITDIR}\")
  set(staging \"${CMAKE_CURRENT_BINARY_DIR}/unit\")
")
install(CODE "${tavrin_unit_settings}" CODE [[
  foreach(dir sbindir docdir unitdir)
    if(NOT IS_ABSOLUTE "${${dir}}")
      set(${dir} "${CMAKE_INSTALL_PREFIX}/${${dir}}")
    endif()
  endforeach()
  set(TAVRIN_FULL_SBINDIR "${sbindir}")
  set(TAVRIN_FULL_DOCDIR "${docdir}")
  # One staging folder per destination, so a package build and a plain install never share one.
  string(MD5 destination "$ENV{DESTDIR}|${CMAKE_INSTALL_PREFIX}")
  configure_file("${template}" "${staging}/${destination}/tavrin-server.service" @ONLY)
  file(INSTALL DESTINATION "${unitdir}" TYPE FILE
       PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       FILES "${staging}/${destination}/tavrin-server.service")
]])

include(${CMAKE_CURRENT_LIST_DIR}/package.cmake)
