# The install rules of the package (LT_INSTALL_LAYOUT=package), with the directories of
# packaging/layout.txt: the programs and modules in the program directory, links to the window
# programs in /usr/bin, the help page and the delivered black list in the data directory (linked
# into the program directory, where the programs look for them), the configuration the
# administrator may edit in the configuration directory (LocalPort.txt linked likewise), the
# systemd units, the run directory's entry for systemd-tmpfiles, the menu entries and icons.
# The databases, the data sources, the credential file and the system user are made by the
# package's postinst, not here: they belong to the machine, not to the files of the package.
set(programs ${LT_LAYOUT_INSTALLED_PROGRAMS})
set(data ${LT_LAYOUT_INSTALLED_DATA})
set(config ${LT_LAYOUT_INSTALLED_CONFIG})

install(FILES data/BlackName.dat overseer/HELP.HTM DESTINATION ${data})
install(FILES packaging/LocalPort.txt DESTINATION ${config})
# unixODBC's driver entry names the driver under the description the data sources use; the
# server settings say the programs reach the system's MariaDB through its socket.
configure_file(packaging/odbcinst.ini.in ${CMAKE_BINARY_DIR}/packaging/odbcinst.ini @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/odbcinst.ini packaging/server.ini
        DESTINATION ${config})

install(FILES packaging/systemd/lantrove-keeper.service packaging/systemd/lantrove-monitor.service
              packaging/systemd/lantrove-blocker.service
        DESTINATION /lib/systemd/system)
install(FILES packaging/lantrove.tmpfiles DESTINATION /usr/lib/tmpfiles.d RENAME lantrove.conf)
install(FILES packaging/lantrove-overseer.desktop packaging/lantrove-provisioner.desktop
        DESTINATION /usr/share/applications)
install(FILES packaging/icons/lantrove-overseer.svg packaging/icons/lantrove-provisioner.svg
        DESTINATION /usr/share/icons/hicolor/scalable/apps)

# Links: within /usr relative, from /usr to /etc absolute (as Debian's policy asks).
install(CODE "set(LT_PROGRAMS [[${programs}]])
set(LT_DATA [[${data}]])
set(LT_CONFIG [[${config}]])")
install(CODE [[
  function(lt_link target name)
    file(MAKE_DIRECTORY "$ENV{DESTDIR}${LT_PROGRAMS}" "$ENV{DESTDIR}/usr/bin")
    file(REMOVE "$ENV{DESTDIR}${name}")
    file(CREATE_LINK "${target}" "$ENV{DESTDIR}${name}" SYMBOLIC)
  endfunction()
  file(RELATIVE_PATH to_data "${LT_PROGRAMS}" "${LT_DATA}")
  lt_link("${to_data}/HELP.HTM" "${LT_PROGRAMS}/HELP.HTM")
  lt_link("${to_data}/BlackName.dat" "${LT_PROGRAMS}/BlackName.dat")
  lt_link("${LT_CONFIG}/LocalPort.txt" "${LT_PROGRAMS}/LocalPort.txt")
  file(RELATIVE_PATH to_programs "/usr/bin" "${LT_PROGRAMS}")
  foreach(program overseer provisioner logkeeper)
    lt_link("${to_programs}/${program}" "/usr/bin/${program}")
  endforeach()
]])
install(PROGRAMS packaging/setup-databases.sh DESTINATION ${programs} RENAME setup-databases)
install(FILES packaging/60-lantrove.cnf DESTINATION /etc/mysql/mariadb.conf.d)
