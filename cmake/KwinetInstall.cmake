# What `cmake --install` puts where, in three components that the Debian
# packages follow: Runtime (the tool and libkwinet), Development (headers,
# the CMake package, pkg-config files, the link-time names) and Gui (the Qt
# backend and the tool's plugin, so that command-line users need no Qt).

# An installed tool, library or plugin finds its libraries through a path
# from its own folder, unless they go to a folder the system searches (a
# Debian package), where none is written.
list(FIND CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES "${CMAKE_INSTALL_FULL_LIBDIR}" kwinet_system_libdir)
if(kwinet_system_libdir EQUAL -1)
  file(RELATIVE_PATH kwinet_libdir_from_bin ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_FULL_LIBDIR})
  set(KWINET_TOOL_INSTALL_RPATH "$ORIGIN/${kwinet_libdir_from_bin}")
  set(KWINET_PLUGIN_INSTALL_RPATH "$ORIGIN/..")
endif()
if(TARGET kwinet_tool AND KWINET_TOOL_INSTALL_RPATH)
  set_target_properties(kwinet_tool PROPERTIES INSTALL_RPATH "${KWINET_TOOL_INSTALL_RPATH}")
endif()
if(TARGET kwinet_qt_plugin AND KWINET_PLUGIN_INSTALL_RPATH)
  set_target_properties(kwinet_qt_plugin PROPERTIES INSTALL_RPATH "${KWINET_PLUGIN_INSTALL_RPATH}")
endif()

# Headers: the public ones only (cmake/KwinetHeaders.cmake), and the version.
kwinet_install_headers(${KWINET_PUBLIC_HEADERS})
kwinet_install_moved_headers()
install(FILES ${KWINET_GENERATED_INCLUDE_DIR}/kwinet/Version.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kwinet COMPONENT Development)

# libkwinet. The names of its rooms (kwinet::core, kwinet::web ...), which
# earlier releases installed as libraries of their own, are made by the
# package configuration: each is the whole library now.
install(TARGETS kwinet EXPORT kwinetTargets
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Runtime NAMELINK_COMPONENT Development
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT kwinetTargets NAMESPACE kwinet:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kwinet
        COMPONENT Development)
if(KWINET_HAVE_QT)
  kwinet_install_headers(${KWINET_QT_PUBLIC_HEADERS})
  install(TARGETS kwinet_qt EXPORT kwinetQtTargets
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Gui NAMELINK_COMPONENT Development
          ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Development
          INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
  install(EXPORT kwinetQtTargets NAMESPACE kwinet:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kwinet
          COMPONENT Development)
  if(TARGET kwinet_qt_plugin AND KWINET_BUILD_TOOLS)
    install(TARGETS kwinet_qt_plugin LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/kwinet COMPONENT Gui)
  endif()
endif()

# The CMake package: find_package(kwinet [VERSION]) takes any release of the
# same major version.
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/kwinetConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kwinetConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kwinet)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kwinetConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/kwinetConfig.cmake
              ${PROJECT_BINARY_DIR}/kwinetConfigVersion.cmake
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/kwinet COMPONENT Development)

# pkg-config: kwinet.pc, and kwinet-qt.pc for the Qt backend. The prefix is
# found from the .pc file's own place, so an installed tree can move. A
# shared libkwinet brings its libraries itself; a static one needs them on
# the program's link line.
file(RELATIVE_PATH KWINET_PC_PREFIX_FROM_PCDIR ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" KWINET_PC_PREFIX_FROM_PCDIR "${KWINET_PC_PREFIX_FROM_PCDIR}")
set(KWINET_PC_REQUIRES "libcurl openssl libidn2 libpng libjpeg libgif")
if(BUILD_SHARED_LIBS)
  set(KWINET_PC_LIBS "-lkwinet")
  set(KWINET_PC_REQUIRES_PRIVATE "Requires.private: ${KWINET_PC_REQUIRES}")
  set(KWINET_PC_LIBS_PRIVATE "Libs.private: -pthread")
else()
  set(KWINET_PC_LIBS "-lkwinet -lcurl -lssl -lcrypto -lidn2 -lpng16 -ljpeg -lgif -pthread")
  set(KWINET_PC_REQUIRES_PRIVATE "")
  set(KWINET_PC_LIBS_PRIVATE "")
endif()
configure_file(cmake/pkgconfig/kwinet.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/kwinet.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/kwinet.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
if(KWINET_HAVE_QT)
  configure_file(cmake/pkgconfig/kwinet-qt.pc.in ${PROJECT_BINARY_DIR}/pkgconfig/kwinet-qt.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/pkgconfig/kwinet-qt.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Development)
endif()
