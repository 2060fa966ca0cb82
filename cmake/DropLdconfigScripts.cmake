# SPDX-License-Identifier: GPL-2.0-or-later
# Runs after cpack has built the packages (CPACK_POST_BUILD_SCRIPTS): the
# shared library's package loses the postinst and postrm that only call
# ldconfig, since its ldconfig trigger does that job (Debian policy 8.1.1).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  string(FIND "${name}" "${CPACK_QUILLRUN_LIBRARY_DEB_PREFIX}" at)
  if(NOT at EQUAL 0)
    continue()
  endif()
  set(tree ${deb}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb -R ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
