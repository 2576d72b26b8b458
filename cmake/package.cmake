# Installation and the Debian package. `scripts/package.sh` builds the program and runs
# cpack, which makes build/talwen_<version>_<arch>.deb; the package installs under /usr, with
# its configuration in /etc (docs/operations.md).

install(TARGETS talwen RUNTIME DESTINATION bin)
install(FILES deploy/talwen.INI DESTINATION /etc/talwen)
install(FILES deploy/default DESTINATION /etc/default RENAME talwen)
install(FILES deploy/logrotate DESTINATION /etc/logrotate.d RENAME talwen)
install(FILES deploy/systemd/talwen.service DESTINATION /lib/systemd/system)
# talwen@PORT.service: one more instance on this machine, on 127.0.0.1:PORT; the same unit
# but for the port.
file(READ deploy/systemd/talwen.service unit)
set(template_unit "${unit}")
string(REPLACE "Description=Talwen RF gateway\n" "Description=Talwen RF gateway on port %i\n"
  template_unit "${template_unit}")
string(REPLACE "$TALWEN_SERVE_OPTIONS\n" "$TALWEN_SERVE_OPTIONS --listen 127.0.0.1:%i\n"
  template_unit "${template_unit}")
string(REPLACE "# The Talwen RF gateway.\n"
  "# One more instance of the Talwen RF gateway, on 127.0.0.1:PORT: talwen@PORT.service.\n"
  template_unit "${template_unit}")
string(REGEX MATCHALL "%i" specifiers "${template_unit}")
list(LENGTH specifiers specifiers)
if(NOT specifiers EQUAL 2)
  message(FATAL_ERROR "deploy/systemd/talwen.service: cannot make talwen@.service from it")
endif()
file(WRITE ${CMAKE_BINARY_DIR}/package/talwen@.service "${template_unit}")
install(FILES ${CMAKE_BINARY_DIR}/package/talwen@.service DESTINATION /lib/systemd/system)
# The reference database, loaded in this order: sql/schema.sql, sql/procedures/*.sql by name,
# then sql/demo.sql for the demo warehouse.
install(FILES db/postgres/schema.sql db/postgres/demo.sql DESTINATION share/talwen/sql)
install(DIRECTORY db/postgres/procedures DESTINATION share/talwen/sql
  FILES_MATCHING PATTERN "*.sql")
install(DIRECTORY www/ DESTINATION share/talwen/www PATTERN ".*" EXCLUDE)
install(DIRECTORY docs/ DESTINATION share/doc/talwen)
install(FILES deploy/nginx/talwen.conf DESTINATION share/doc/talwen/examples/nginx)

set(TALWEN_CONFFILES /etc/talwen/talwen.INI /etc/default/talwen /etc/logrotate.d/talwen)
list(JOIN TALWEN_CONFFILES "\n" conffiles)
file(WRITE ${CMAKE_BINARY_DIR}/package/conffiles "${conffiles}\n")
foreach(script postinst prerm postrm)
  configure_file(deploy/debian/${script} ${CMAKE_BINARY_DIR}/package/${script} COPYONLY)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME talwen)
set(CPACK_PACKAGE_VENDOR Talwen)
# `cpack -R VERSION` (scripts/package.sh --version) overrides this.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "engine of a warehouse's handheld RF terminals")
set(CPACK_PACKAGE_DESCRIPTION
  "Talwen takes the handheld pages' requests over HTTP, calls the warehouse database's \
stored procedure for each RF function and answers in the pages' tagged text. It runs as \
the systemd service talwen; its configuration is /etc/talwen/talwen.INI.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Talwen maintainers <talwen@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "passwd")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "logrotate")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "nginx, postgresql-client, tdsodbc")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_BINARY_DIR}/package/conffiles ${CMAKE_BINARY_DIR}/package/postinst
  ${CMAKE_BINARY_DIR}/package/prerm ${CMAKE_BINARY_DIR}/package/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
