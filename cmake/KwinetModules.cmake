# The library is one binary, libkwinet (shared unless BUILD_SHARED_LIBS is
# OFF), made of the objects of every subsystem folder under kwinet/: each
# folder compiles to kwinet_<name>_objects. In this build tree,
# kwinet_<name> is the name a test, a fuzz target or a benchmark links to
# use a room: it brings kwinet_internal, a static archive of the same
# objects, in which the library's own units (protocol readers, the transfer
# driver ...) can be reached as well. A program links kwinet (kwinet::kwinet).
# A folder without sources yet adds nothing.

set(KWINET_MODULE_TARGETS "")
set(KWINET_OBJECT_TARGETS "")
set(KWINET_WARNINGS -Wall -Wextra)
# GCC 12 reports impossible overlaps inside std::basic_string at -O3
# (a known false positive of -Wrestrict); keep the optimised builds quiet.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND KWINET_WARNINGS -Wno-restrict)
endif()

# kwinet_add_module(name [DEPS rooms...]): DEPS names the rooms below this
# one, for the reader (layers point down only); all rooms end in one binary.
function(kwinet_add_module name)
  cmake_parse_arguments(M "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kwinet/${name}/*.cpp)
  if(name STREQUAL "core")
    list(APPEND sources ${KWINET_RESOURCE_SOURCE})
  endif()
  if(NOT sources)
    return()
  endif()
  set(objects kwinet_${name}_objects)
  add_library(${objects} OBJECT ${sources})
  # libkwinet shows only what the public headers declare: a unit whose
  # header is not public (or that has none) is compiled with its symbols
  # hidden.
  foreach(source IN LISTS sources)
    get_filename_component(unit ${source} NAME_WE)
    # (LibraryVersion, in core, is declared by the generated kwinet/Version.h,
    # the resource table by core/Resources.h.)
    if(NOT "${name}/${unit}.h" IN_LIST KWINET_PUBLIC_HEADERS AND NOT "${name}/${unit}" STREQUAL "core/Version"
       AND NOT source STREQUAL KWINET_RESOURCE_SOURCE)
      set_source_files_properties(${source} PROPERTIES COMPILE_OPTIONS -fvisibility=hidden)
    endif()
  endforeach()
  target_include_directories(${objects} PUBLIC ${PROJECT_SOURCE_DIR} ${KWINET_GENERATED_INCLUDE_DIR})
  target_compile_features(${objects} PUBLIC cxx_std_20)
  target_compile_options(${objects} PRIVATE ${KWINET_WARNINGS})
  set_target_properties(${objects} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  add_library(kwinet_${name} INTERFACE)
  add_library(kwinet::${name} ALIAS kwinet_${name})
  target_link_libraries(kwinet_${name} INTERFACE kwinet_internal)
  set(KWINET_MODULE_TARGETS ${KWINET_MODULE_TARGETS} kwinet_${name} PARENT_SCOPE)
  set(KWINET_OBJECT_TARGETS ${KWINET_OBJECT_TARGETS} ${objects} PARENT_SCOPE)
endfunction()

# Images under resources/ are compiled into the core library; the code finds
# them by file name through FindResource.
function(kwinet_add_resources)
  file(GLOB images CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/resources/*.png)
  set(out ${PROJECT_BINARY_DIR}/generated/kwinet_resources.cpp)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DDIR=${PROJECT_SOURCE_DIR}/resources
            -P ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
    DEPENDS ${images} ${PROJECT_SOURCE_DIR}/cmake/EmbedResources.cmake
    COMMENT "Embedding resources")
  set(KWINET_RESOURCE_SOURCE ${out} PARENT_SCOPE)
endfunction()
