# cmake -DBUILD_DIR=<build> -DPREFIX=<empty folder to install into> -P CheckInstall.cmake
# Installs the build into PREFIX and checks that every file a user needs is there.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

set(expected
    bin/quorvil-mapservice bin/quorvil-export bin/quorvil-settings
    share/applications/quorvil.desktop
    share/quorvil/imagery/usgs-imagery.xml share/quorvil/imagery/usgs-topo.xml
    share/icons/hicolor/scalable/apps/quorvil.svg
    share/icons/hicolor/16x16/apps/quorvil.png
    share/icons/hicolor/32x32/apps/quorvil.png
    share/icons/hicolor/48x48/apps/quorvil.png
    share/icons/hicolor/256x256/apps/quorvil.png)
if(EXISTS ${BUILD_DIR}/bin/quorvil)
  list(APPEND expected bin/quorvil)
endif()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(program quorvil quorvil-mapservice quorvil-export quorvil-settings)
  if(EXISTS ${PREFIX}/bin/${program})
    file(GET_RUNTIME_DEPENDENCIES EXECUTABLES ${PREFIX}/bin/${program}
         UNRESOLVED_DEPENDENCIES_VAR missing)
    if(missing)
      message(FATAL_ERROR "${program} needs libraries that are not found: ${missing}")
    endif()
  endif()
endforeach()

# The desktop entry starts the installed program by name and shows the installed icon.
file(STRINGS ${PREFIX}/share/applications/quorvil.desktop entry)
foreach(line "Type=Application" "Exec=quorvil" "Icon=quorvil" "Name=Quorvil")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "quorvil.desktop lacks ${line}")
  endif()
endforeach()
find_program(DESKTOP_FILE_VALIDATE desktop-file-validate)
if(DESKTOP_FILE_VALIDATE)
  execute_process(COMMAND ${DESKTOP_FILE_VALIDATE} ${PREFIX}/share/applications/quorvil.desktop
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "desktop-file-validate: ${output}")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
