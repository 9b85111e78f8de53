# The Debian package (CPack, DEB generator): `cmake --build build --target package` makes
# telv-console_<version>_<arch>.deb from every install() rule of the project, installed under /usr.
#
# A program adds itself to the package with its install() line in its own CMakeLists.txt, e.g.
#   install(TARGETS telv-exporter RUNTIME DESTINATION bin)
# and a file under /etc with telv_install_config(), which also marks it as a configuration file
# that an upgrade does not overwrite.

set(TELV_PACKAGE_NAME telv-console)
set(TELV_PACKAGE_MAINTAINER "TELV Console developers <telv-console@example.org>"
    CACHE STRING "Maintainer of the Debian package, \"Name <address>\"")
set(TELV_COPYRIGHT_HOLDER "TELV Console developers" CACHE STRING "Copyright holder named in the package")

# Directories the install rules make are rwxr-xr-x whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# telv_install_config(FILE DESTINATION): installs FILE into DESTINATION (an absolute path under
# /etc) and lists it among the package's configuration files.
function(telv_install_config file destination)
  install(FILES ${file} DESTINATION ${destination})
  get_filename_component(name ${file} NAME)
  set_property(GLOBAL APPEND PROPERTY TELV_CONFFILES ${destination}/${name})
endfunction()

# Called once every subdirectory has been added.
function(telv_configure_package)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME ${TELV_PACKAGE_NAME})
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PACKAGE_VENDOR "${TELV_COPYRIGHT_HOLDER}")
  set(CPACK_PACKAGE_CONTACT "${TELV_PACKAGE_MAINTAINER}")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console for TELV device-gateway servers")
  set(CPACK_PACKAGE_DESCRIPTION
      "The TELV Console connects over TCP to a TELV device-gateway server and shows,
live, the device channels and the client connections that the server holds,
with a time-stamped event log and traffic totals. The operator can reset or
close device channels, close client connections and switch the server's event
translation on or off.

The package also holds telv-sim, a server simulator with a deterministic
population of devices and clients and fault modes for tests.")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TELV_PACKAGE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS OFF)
  get_property(conffiles GLOBAL PROPERTY TELV_CONFFILES)
  if(conffiles)
    list(JOIN conffiles "\n" lines)
    file(WRITE ${CMAKE_BINARY_DIR}/packaging/conffiles "${lines}\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/packaging/conffiles)
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  endif()
  include(CPack)
endfunction()
