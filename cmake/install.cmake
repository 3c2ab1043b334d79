# install.cmake: what `cmake --install` puts on a qmail host, and the rule that takes it away.
#
#   PREFIX/sbin/postlet                  the submission command
#   PREFIX/sbin/postlet-sethome          sets the qmail home held by a built postlet
#   PREFIX/share/man/man8/postlet.8      its manual
#   PREFIX/share/man/man8/postlet-sethome.8
#
# With POSTLET_INSTALL_LINKS=ON, or later with `cmake --install BUILD --component links`, also
# the names under which the host's mail programs look for the submission command, each a
# relative symbolic link to sbin/postlet:
#
#   PREFIX/sbin/sendmail  PREFIX/lib/sendmail  PREFIX/bin/mailq
#   PREFIX/bin/hoststat   PREFIX/bin/purgestat
#
# newaliases is left out on purpose: that name belongs to the alias tool postlet refers to.
# Every install writes the files it put down to BUILD/install_manifest.txt (the links component
# alone to BUILD/install_manifest_links.txt); `cmake --build BUILD --target uninstall` removes
# the files those lists name.

option(POSTLET_INSTALL_LINKS "Also install sbin/sendmail, lib/sendmail, bin/mailq, bin/hoststat and bin/purgestat as links to postlet" OFF)

# Directory names are fixed rather than taken from GNUInstallDirs: the places where programs look
# for the submission command (lib/sendmail above all) do not follow a distribution's libdir.
install(TARGETS postlet postlet-sethome RUNTIME DESTINATION sbin COMPONENT programs)
install(FILES ${CMAKE_SOURCE_DIR}/doc/postlet.8 ${CMAKE_SOURCE_DIR}/doc/postlet-sethome.8
        DESTINATION share/man/man8 COMPONENT programs)

# The links are made in the build tree and installed as links, so that the manifest lists them
# and a DESTDIR install puts them where the prefix says.
set(postlet_links
    "sbin/sendmail:postlet"
    "lib/sendmail:../sbin/postlet"
    "bin/mailq:../sbin/postlet"
    "bin/hoststat:../sbin/postlet"
    "bin/purgestat:../sbin/postlet")
if(POSTLET_INSTALL_LINKS)
  set(postlet_links_scope "")
else()
  set(postlet_links_scope EXCLUDE_FROM_ALL)
endif()
foreach(entry IN LISTS postlet_links)
  string(REPLACE ":" ";" entry "${entry}")
  list(GET entry 0 link)
  list(GET entry 1 target)
  get_filename_component(link_dir "${link}" DIRECTORY)
  set(staged "${CMAKE_BINARY_DIR}/install-links/${link}")
  file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/install-links/${link_dir}")
  file(REMOVE "${staged}")
  file(CREATE_LINK "${target}" "${staged}" SYMBOLIC)
  install(FILES "${staged}" DESTINATION "${link_dir}" COMPONENT links ${postlet_links_scope})
endforeach()

if(NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing the files listed in install_manifest*.txt"
    VERBATIM)
endif()
