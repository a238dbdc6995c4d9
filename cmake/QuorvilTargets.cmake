# Helpers that every part of the build uses, so that layers, tools and tests are
# declared the same way.

# quorvil_plain_library(<target> DIR <dir> [QT_UNITS <unit>...] [DEPS <lib>...])
# A layer's library of plain C++ units: every .cpp in <dir> except the Qt units listed,
# which belong to the layer's widget library. Plain libraries never link Qt, so an
# accidental Qt include fails to build.
function(quorvil_plain_library target)
  cmake_parse_arguments(ARG "" "DIR" "QT_UNITS;DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
  foreach(unit IN LISTS ARG_QT_UNITS)
    list(REMOVE_ITEM sources ${ARG_DIR}/${unit}.cpp)
  endforeach()
  if(sources)
    add_library(${target} STATIC ${sources})
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
    # A layer's own sources include its headers by layer path too ("platform/X.h").
    target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  else()
    add_library(${target} INTERFACE)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
  target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# quorvil_widget_library(<target> DIR <dir> UNITS <unit>... [DEPS <lib>...])
# A layer's library of Qt units (windows, dialogs, menus).
function(quorvil_widget_library target)
  cmake_parse_arguments(ARG "" "DIR" "UNITS;DEPS" ${ARGN})
  set(sources)
  foreach(unit IN LISTS ARG_UNITS)
    list(APPEND sources ${ARG_DIR}/${unit}.cpp ${ARG_DIR}/${unit}.h)
  endforeach()
  add_library(${target} STATIC ${sources})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_link_libraries(${target} PUBLIC ${ARG_DEPS} Qt6::Widgets Qt6::PrintSupport)
  target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# quorvil_executable(<target> <source>...)
# Every executable of the project; each carries the build's version stamp.
function(quorvil_executable target)
  add_executable(${target} ${ARGN})
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
  quorvil_stamp_version(${target})
endfunction()

# Embeds the version stamp (project version + build number) into an executable.
function(quorvil_stamp_version target)
  # Filled in together with the version reader.
endfunction()
