# What `cmake --install` puts in place: the program and its tools in bin/, the desktop
# entry and the program icon where desktop environments look for them.
include(GNUInstallDirs)

foreach(program quorvil quorvil-mapservice quorvil-export quorvil-settings)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# The tile-service descriptions of quorvil-mapservice --preset, which it finds in
# share/quorvil/imagery beside its bin/.
install(FILES ${PROJECT_SOURCE_DIR}/resources/imagery/usgs-imagery.xml
              ${PROJECT_SOURCE_DIR}/resources/imagery/usgs-topo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/quorvil/imagery)
install(FILES ${PROJECT_SOURCE_DIR}/resources/quorvil.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/icon/quorvil.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 32 48 256)
  install(FILES ${PROJECT_SOURCE_DIR}/resources/icon/quorvil-${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
          RENAME quorvil.png)
endforeach()

# What a desktop's software centre and man read.
install(FILES ${PROJECT_SOURCE_DIR}/resources/io.github.quorvil.Quorvil.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(page quorvil quorvil-mapservice quorvil-export quorvil-settings)
  install(FILES ${PROJECT_SOURCE_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# The map service for a whole office: a systemd unit (not enabled), its options, and nginx
# in front of several instances as an example.
install(FILES ${PROJECT_SOURCE_DIR}/resources/nginx/quorvil-mapservice.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quorvil/examples RENAME nginx-quorvil-mapservice.conf)
# The unit names the installed program, and the options belong in /etc for an
# installation into /usr (the package), as GNUInstallDirs has it: both follow the prefix,
# which is known only when installing.
install(CODE "
  set(QUORVIL_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  # One file per destination, so that installations at the same time do not meet.
  string(MD5 quorvil_where \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  set(quorvil_unit \"${PROJECT_BINARY_DIR}/systemd/\${quorvil_where}/quorvil-mapservice.service\")
  configure_file(\"${PROJECT_SOURCE_DIR}/resources/systemd/quorvil-mapservice.service.in\"
                 \"\${quorvil_unit}\" @ONLY)
  file(INSTALL \"\${quorvil_unit}\"
       DESTINATION \"\${CMAKE_INSTALL_PREFIX}/lib/systemd/system\")
  set(quorvil_etc \"\${CMAKE_INSTALL_PREFIX}/etc\")
  if(CMAKE_INSTALL_PREFIX STREQUAL \"/usr\")
    set(quorvil_etc /etc)
  endif()
  file(INSTALL \"${PROJECT_SOURCE_DIR}/resources/systemd/quorvil-mapservice.default\"
       DESTINATION \"\${quorvil_etc}/default\" RENAME quorvil-mapservice)")
