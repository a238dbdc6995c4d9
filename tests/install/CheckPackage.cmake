# cmake -DBUILD_DIR=<build> -DSOURCE_DIR=<checkout> -DWORK=<scratch folder> -DVERSION=<a.b.c.d>
#       -P CheckPackage.cmake
# Makes the Debian package of the build with cpack, unpacks it and checks what a user gets:
# the files, their validity for the desktop and the software centre, the dependencies,
# and that every unpacked executable answers --version and --help.
cmake_minimum_required(VERSION 3.25)
foreach(tool dpkg-deb dpkg-shlibdeps desktop-file-validate appstreamcli)
  find_program(${tool}_path ${tool})
  if(NOT ${tool}_path)
    message("Skipped: ${tool} is not installed (scripts/install-deps.sh installs it)")
    return()
  endif()
endforeach()

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${ARGN} failed (${result}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
run(${CMAKE_CPACK_COMMAND} -G DEB --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK}/out)
set(deb ${WORK}/out/quorvil_${VERSION}_amd64.deb)
if(NOT EXISTS ${deb})
  file(GLOB made ${WORK}/out/*.deb)
  message(FATAL_ERROR "no ${deb}; cpack made: ${made}")
endif()
set(root ${WORK}/root)
run(${dpkg-deb_path} -x ${deb} ${root})

# The dependencies come from the libraries the executables link; the options are a conffile.
run(${dpkg-deb_path} -f ${deb} Depends)
foreach(package libc6 libqt6widgets6 libcurl4 libgdal32)
  if(NOT out MATCHES "(^|, )${package} ")
    message(FATAL_ERROR "Depends lacks ${package}: ${out}")
  endif()
endforeach()
run(${dpkg-deb_path} -I ${deb} conffiles)
if(NOT out STREQUAL "/etc/default/quorvil-mapservice\n")
  message(FATAL_ERROR "conffiles: ${out}")
endif()

set(expected
    usr/share/applications/quorvil.desktop usr/share/metainfo/io.github.quorvil.Quorvil.metainfo.xml
    usr/share/icons/hicolor/scalable/apps/quorvil.svg usr/share/icons/hicolor/48x48/apps/quorvil.png
    usr/lib/systemd/system/quorvil-mapservice.service etc/default/quorvil-mapservice
    usr/share/doc/quorvil/examples/nginx-quorvil-mapservice.conf)
set(programs quorvil quorvil-mapservice quorvil-export quorvil-settings)
foreach(program IN LISTS programs)
  list(APPEND expected usr/bin/${program} usr/share/man/man1/${program}.1)
endforeach()
foreach(file IN LISTS expected)
  if(NOT EXISTS ${root}/${file})
    message(FATAL_ERROR "not in the package: ${file}")
  endif()
endforeach()
# Whatever else the build installs, such as the descriptions of imagery services.
file(GLOB descriptions ${SOURCE_DIR}/resources/imagery/*.xml)
foreach(description IN LISTS descriptions)
  get_filename_component(name ${description} NAME)
  file(GLOB_RECURSE found ${root}/*/${name})
  if(NOT found)
    message(FATAL_ERROR "not in the package: ${name}")
  endif()
endforeach()

run(${desktop-file-validate_path} ${root}/usr/share/applications/quorvil.desktop)
run(${appstreamcli_path} validate --no-net ${root}/usr/share/metainfo/io.github.quorvil.Quorvil.metainfo.xml)

# The unpacked programs run from anywhere, the viewer too without a display.
foreach(program IN LISTS programs)
  run(${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${root}/usr/bin/${program} --version)
  if(NOT out STREQUAL "${program} ${VERSION}\n")
    message(FATAL_ERROR "${program} --version: '${out}', not '${program} ${VERSION}'")
  endif()
  run(${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY ${root}/usr/bin/${program} --help)
  if(NOT out MATCHES "Usage: ${program} " OR NOT out MATCHES "--version")
    message(FATAL_ERROR "${program} --help:\n${out}")
  endif()
endforeach()

# The unit as systemd reads it, pointed at the unpacked program and man pages.
find_program(systemd_analyze systemd-analyze)
if(systemd_analyze)
  file(READ ${root}/usr/lib/systemd/system/quorvil-mapservice.service unit)
  if(NOT unit MATCHES "ExecStart=/usr/bin/quorvil-mapservice " OR NOT unit MATCHES "DynamicUser=yes")
    message(FATAL_ERROR "quorvil-mapservice.service:\n${unit}")
  endif()
  string(REPLACE "ExecStart=/usr/bin/" "ExecStart=${root}/usr/bin/" unit "${unit}")
  file(WRITE ${WORK}/unit/quorvil-mapservice.service "${unit}")
  run(${CMAKE_COMMAND} -E env MANPATH=${root}/usr/share/man
      ${systemd_analyze} verify ${WORK}/unit/quorvil-mapservice.service)
endif()
file(REMOVE_RECURSE ${WORK})
