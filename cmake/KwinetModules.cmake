# Helpers that turn each subsystem folder under kwinet/ into a static library
# kwinet_<name>. A folder without sources yet adds nothing.

set(KWINET_MODULE_TARGETS "")
set(KWINET_WARNINGS -Wall -Wextra)
# GCC 12 reports impossible overlaps inside std::basic_string at -O3
# (a known false positive of -Wrestrict); keep the optimised builds quiet.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  list(APPEND KWINET_WARNINGS -Wno-restrict)
endif()

function(kwinet_add_module name)
  cmake_parse_arguments(M "" "" "DEPS;LIBS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/kwinet/${name}/*.cpp)
  if(name STREQUAL "core")
    list(APPEND sources ${KWINET_RESOURCE_SOURCE})
  endif()
  if(NOT sources)
    return()
  endif()
  add_library(kwinet_${name} STATIC ${sources})
  add_library(kwinet::${name} ALIAS kwinet_${name})
  target_include_directories(kwinet_${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_features(kwinet_${name} PUBLIC cxx_std_20)
  target_compile_options(kwinet_${name} PRIVATE ${KWINET_WARNINGS})
  set_target_properties(kwinet_${name} PROPERTIES POSITION_INDEPENDENT_CODE ON
                                                  EXPORT_NAME ${name})
  foreach(dep IN LISTS M_DEPS)
    if(TARGET kwinet_${dep})
      target_link_libraries(kwinet_${name} PUBLIC kwinet_${dep})
    endif()
  endforeach()
  if(M_LIBS)
    target_link_libraries(kwinet_${name} PUBLIC ${M_LIBS})
  endif()
  set(KWINET_MODULE_TARGETS ${KWINET_MODULE_TARGETS} kwinet_${name} PARENT_SCOPE)
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
