# The API reference: Doxygen over the public headers (cmake/KwinetHeaders.cmake,
# the Qt backend's too when it is built), with the README as its main page.
# Not part of the default build:
#   cmake --build BUILD --target docs      (HTML in BUILD/docs/html)
# A public declaration without its sentence, or any other Doxygen warning,
# fails the target.
find_package(Doxygen QUIET)

set(kwinet_docs_headers ${KWINET_PUBLIC_HEADERS})
if(KWINET_HAVE_QT)
  list(APPEND kwinet_docs_headers ${KWINET_QT_PUBLIC_HEADERS})
endif()
list(TRANSFORM kwinet_docs_headers PREPEND ${PROJECT_SOURCE_DIR}/kwinet/)
list(APPEND kwinet_docs_headers ${KWINET_GENERATED_INCLUDE_DIR}/kwinet/Version.h)

if(DOXYGEN_FOUND)
  set(KWINET_DOCS_DIR ${PROJECT_BINARY_DIR}/docs)
  set(KWINET_DOCS_INPUT "\"${PROJECT_SOURCE_DIR}/README.md\"")
  foreach(header IN LISTS kwinet_docs_headers)
    string(APPEND KWINET_DOCS_INPUT " \\\n  \"${header}\"")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${PROJECT_BINARY_DIR}/Doxyfile @ONLY)
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E make_directory ${KWINET_DOCS_DIR}
    COMMAND Doxygen::doxygen ${PROJECT_BINARY_DIR}/Doxyfile
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    COMMENT "API reference in ${KWINET_DOCS_DIR}/html"
    VERBATIM)
else()
  add_custom_target(docs
    COMMAND ${CMAKE_COMMAND} -E echo "docs: doxygen was not found; install it (apt-get install doxygen) and configure again"
    COMMAND ${CMAKE_COMMAND} -E false
    VERBATIM)
endif()
