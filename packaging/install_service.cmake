# Installs the server's systemd unit and configuration file; run by "cmake --install" (and by cpack)
# with the prefix of that installation. Under /usr they go where Debian keeps them (/etc,
# /lib/systemd/system); under any other prefix, below it.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
    set(etc_dir /etc)
    set(unit_dir /lib/systemd/system)
else()
    set(etc_dir ${CMAKE_INSTALL_PREFIX}/etc)
    set(unit_dir ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
endif()

set(CMAKE_INSTALL_FULL_BINDIR ${CMAKE_INSTALL_PREFIX}/bin)
set(CMAKE_INSTALL_FULL_SYSCONFDIR ${etc_dir})
configure_file(${MOBCFG_PACKAGING_DIR}/systemd/mobcfg-server.service.in
               ${MOBCFG_STAGING_DIR}/mobcfg-server.service @ONLY)

file(INSTALL DESTINATION ${unit_dir} TYPE FILE
     FILES ${MOBCFG_STAGING_DIR}/mobcfg-server.service)
# The file holds passwords: readable by root and, once the package has set its group, the server.
file(INSTALL DESTINATION ${etc_dir}/mobcfg TYPE FILE
     PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ
     FILES ${MOBCFG_PACKAGING_DIR}/mobcfg-server.conf)
