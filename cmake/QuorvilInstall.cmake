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
