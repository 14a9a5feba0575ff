# The man page and the bash completion are made from the built tool's own
# help, so that they say what the tool says. Making them runs the tool (with
# --help only): a cross build without an emulator to run it goes without them.
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  message(STATUS "kwinet: no man page or bash completion in a cross build without an emulator")
  return()
endif()
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(KWINET_BASH_COMPLETION_DIR ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    CACHE STRING "Where the bash completion of kwinet is installed (relative to the prefix, or absolute)")
set(kwinet_man_page ${CMAKE_CURRENT_BINARY_DIR}/kwinet.1)
set(kwinet_completion ${CMAKE_CURRENT_BINARY_DIR}/kwinet.bash)
add_custom_command(
  OUTPUT ${kwinet_man_page} ${kwinet_completion}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/help_docs.py
          --version ${PROJECT_VERSION} --man ${kwinet_man_page} --completion ${kwinet_completion}
          -- ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kwinet_tool>
  DEPENDS kwinet_tool ${CMAKE_CURRENT_SOURCE_DIR}/help_docs.py
  COMMENT "Making the kwinet man page and bash completion from its help"
  VERBATIM)
add_custom_target(kwinet_docs ALL DEPENDS ${kwinet_man_page} ${kwinet_completion})
set_target_properties(kwinet_docs PROPERTIES
  KWINET_MAN_PAGE ${kwinet_man_page} KWINET_BASH_COMPLETION ${kwinet_completion})
install(FILES ${kwinet_man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT Runtime)
install(FILES ${kwinet_completion} DESTINATION ${KWINET_BASH_COMPLETION_DIR} RENAME kwinet COMPONENT Runtime)
