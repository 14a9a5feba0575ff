# Debian packages: `cpack -G DEB` in a build folder makes
#   kwinet      the tool and libkwinet (what a command-line user installs),
#   kwinet-dev  headers, the CMake package and pkg-config files,
#   kwinet-gui  the Qt backend and the tool's --gui plugin (Qt comes with it),
# each with the Depends that dpkg-shlibdeps finds for its binaries.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kwinet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# Each package has a synopsis of its own: the first line of its description.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGE_CONTACT "kwinet developers <kwinet-dev@localhost>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL Runtime Development)
if(KWINET_HAVE_QT AND BUILD_SHARED_LIBS)
  list(APPEND CPACK_COMPONENTS_ALL Gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libkwinet itself, which the Gui package's binaries need, is looked for in
# the build folder; that dependency is written by hand below (same version).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SECTION net)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME kwinet)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION net)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS kwinet-gui)
string(CONCAT CPACK_DEBIAN_RUNTIME_DESCRIPTION
  "network components for desktop applications, and their command-line tool\n"
  "libkwinet and the kwinet tool: whois, daytime and SNTP time, DNS, HTTP, SMTP mail\n"
  "with attachments, a web updater, remote folders and pictures, links, news, RSS,\n"
  "XML, shipment tracking and translation, each with a bound on every wait.")
# libkwinet's shlibs file, so that packages built against it depend on it.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_GENERATE_SHLIBS ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME kwinet-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
# kwinet.pc names the libraries a static link needs (Requires.private), and
# pkg-config asks for their .pc files.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS
  "kwinet (= ${PROJECT_VERSION}), libcurl4-openssl-dev | libcurl-dev, libssl-dev, libidn2-dev, libpng-dev, libjpeg-dev, libgif-dev")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SUGGESTS "kwinet-gui (= ${PROJECT_VERSION}), qt6-base-dev")
string(CONCAT CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "headers and build files for kwinet\n"
  "The public headers of libkwinet, its CMake package (find_package(kwinet)) and its\n"
  "pkg-config files (kwinet, kwinet-qt).")

set(CPACK_DEBIAN_GUI_PACKAGE_NAME kwinet-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "kwinet (= ${PROJECT_VERSION})")
string(CONCAT CPACK_DEBIAN_GUI_DESCRIPTION
  "desktop dialogs for kwinet (Qt 6)\n"
  "libkwinet-qt, the Qt 6 Widgets backend, and the plugin through which the kwinet\n"
  "tool shows its progress and logon dialogs on the desktop (kwinet --gui).")
set(CPACK_DEBIAN_GUI_PACKAGE_GENERATE_SHLIBS ON)

include(CPack)
