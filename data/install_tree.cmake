# Install step: writes the registry file for the prefix being installed to
# (so that "cmake --install --prefix P" gives a tree whose keys point into
# P), an empty metabase unless one exists (reinstalling keeps the web
# applications), the link through which setup finds the extension, and the
# scripts directory with the web interface's library. The Debian package
# keeps only the registry and the extension's link: its maintainer scripts
# make the state under /var and the metabase is setup's.
function(vlt_install_path out dir)
  if(IS_ABSOLUTE "${dir}")
    set(${out} "${dir}" PARENT_SCOPE)
  else()
    set(${out} "${CMAKE_INSTALL_PREFIX}/${dir}" PARENT_SCOPE)
  endif()
endfunction()

vlt_install_path(datadir "${VLT_DATADIR}")
vlt_install_path(libdir "${VLT_LIBDIR}")
vlt_install_path(sysconfdir "${VLT_SYSCONFDIR}")
vlt_install_path(localstatedir "${VLT_LOCALSTATEDIR}")
set(VLT_INSTALL_LOCATION "${datadir}/vltadmin")
set(VLT_SCRIPTS_DIR "${localstatedir}/lib/vltadmin/scripts")
set(VLT_DEMO_STORE "${localstatedir}/lib/vltadmin/demo-accounts.db")
set(root "$ENV{DESTDIR}")

configure_file("${VLT_REGISTRY_TEMPLATE}" "${root}${sysconfdir}/vltadmin/vltadmin.reg" @ONLY)
message(STATUS "Installing: ${root}${sysconfdir}/vltadmin/vltadmin.reg")
set(metabase "${root}${sysconfdir}/vltadmin/metabase.txt")
if(NOT EXISTS "${metabase}")
  file(WRITE "${metabase}"
       "# vltadmin-host metabase: the web applications, one a line (\"inproc PATH\" or\n"
       "# \"pooled PATH\"). Written by the WAM administration object (vltadmin-setup).\n")
  message(STATUS "Installing: ${metabase}")
endif()
file(MAKE_DIRECTORY "${root}${VLT_SCRIPTS_DIR}" "${root}${VLT_INSTALL_LOCATION}/System32")
file(RELATIVE_PATH target "${VLT_INSTALL_LOCATION}/System32" "${libdir}/vltadmin/libvltadmin.so")
file(CREATE_LINK "${target}" "${root}${VLT_INSTALL_LOCATION}/System32/libvltadmin.so" SYMBOLIC)
file(RELATIVE_PATH target "${VLT_SCRIPTS_DIR}" "${libdir}/vltadmin/libhqsrv.so")
file(CREATE_LINK "${target}" "${root}${VLT_SCRIPTS_DIR}/libhqsrv.so" SYMBOLIC)
