# Each subsystem is a static library of its own (lum_<name>). Tests link only
# the components they exercise; the shared library takes every component whole.
function(lum_add_component name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(lum_${name} STATIC ${ARG_SOURCES})
  target_include_directories(lum_${name} PUBLIC
    ${PROJECT_SOURCE_DIR}/include
    ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(lum_${name} PUBLIC ${ARG_DEPS} PRIVATE lum_warnings)
  set_property(GLOBAL APPEND PROPERTY LUM_COMPONENTS lum_${name})
endfunction()
