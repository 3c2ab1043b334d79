# install.cmake: what `cmake --install` puts on a qmail host, and the rule that takes it away.
#
#   PREFIX/sbin/postlet                  the submission command
#   PREFIX/sbin/postlet-sethome          sets the qmail home held by a built postlet
#   PREFIX/share/man/man8/postlet.8      its manual
#   PREFIX/share/man/man8/postlet-sethome.8
#
# With POSTLET_INSTALL_LINKS=ON, or later with `cmake --install BUILD --component links`, also
# the names under which the host's mail programs look for the submission command, each a
# relative symbolic link, and the manual under the same names:
#
#   PREFIX/sbin/sendmail  PREFIX/lib/sendmail  PREFIX/bin/mailq
#   PREFIX/bin/hoststat   PREFIX/bin/purgestat
#   PREFIX/share/man/man8/{sendmail,mailq,hoststat,purgestat}.8
#
# This is the one link set: the Debian package installs this component too. It holds every name
# postlet answers to with work of its own, so that what its manual says of each name holds on
# the host; newaliases is left out, since postlet refuses that name.
# A links install needs the program installed at the prefix, and stops, naming every path, where
# a file that is not already a link to the installed file stands; with POSTLET_INSTALL_REPLACE=ON
# it moves such files aside to PATH.postlet-saved instead. It checks all before changing any.
#
# Every install adds to BUILD/install_record.txt the paths it created, DESTDIR included, and
# the files it moved aside; where the record cannot be written, it warns and installs without.
# Where the build tree cannot be written at all, it installs nothing (CMake's own list of the
# installed files goes there). `cmake --build BUILD --target uninstall` removes those paths (a link
# only while it still points where the install made it point), puts saved files back, and
# leaves everything else alone: a file the install found in place and overwrote stays.

option(POSTLET_INSTALL_LINKS "Also install sbin/sendmail, lib/sendmail, bin/mailq, bin/hoststat, bin/purgestat and the manual links" OFF)
option(POSTLET_INSTALL_REPLACE "Let the links install move files that stand in its way to PATH.postlet-saved" OFF)

set(postlet_install_record "${CMAKE_BINARY_DIR}/install_record.txt")
set(postlet_program_paths sbin/postlet sbin/postlet-sethome share/man/man8/postlet.8
    share/man/man8/postlet-sethome.8)

# Each entry: the path below the prefix, then where the link points.
set(postlet_links
    "sbin/sendmail:postlet"
    "lib/sendmail:../sbin/postlet"
    "bin/mailq:../sbin/postlet"
    "bin/hoststat:../sbin/postlet"
    "bin/purgestat:../sbin/postlet"
    "share/man/man8/sendmail.8:postlet.8"
    "share/man/man8/mailq.8:postlet.8"
    "share/man/man8/hoststat.8:postlet.8"
    "share/man/man8/purgestat.8:postlet.8")
if(POSTLET_INSTALL_LINKS)
  set(postlet_links_scope "")
else()
  set(postlet_links_scope EXCLUDE_FROM_ALL)
endif()
if(POSTLET_INSTALL_REPLACE)
  set(postlet_replace 1)
else()
  set(postlet_replace 0)
endif()
# The steps of cmake/install_steps.cmake, with what they need to know, open each component.
set(postlet_install_steps "
  set(postlet_build_dir \"${CMAKE_BINARY_DIR}\")
  set(postlet_record \"${postlet_install_record}\")
  set(postlet_program_paths \"${postlet_program_paths}\")
  set(postlet_links \"${postlet_links}\")
  set(postlet_replace ${postlet_replace})
  include(\"${CMAKE_CURRENT_LIST_DIR}/install_steps.cmake\")
  postlet_check_record()")

# Directory names are fixed rather than taken from GNUInstallDirs: the places where programs look
# for the submission command (lib/sendmail above all) do not follow a distribution's libdir.
# Before the files are copied, note which of them exist already; afterwards record the others.
install(CODE "${postlet_install_steps}
  postlet_note_existing()" COMPONENT programs)
install(TARGETS postlet postlet-sethome RUNTIME DESTINATION sbin COMPONENT programs)
install(FILES ${CMAKE_SOURCE_DIR}/doc/postlet.8 ${CMAKE_SOURCE_DIR}/doc/postlet-sethome.8
        DESTINATION share/man/man8 COMPONENT programs)
install(CODE "postlet_record_programs()" COMPONENT programs)
install(CODE "${postlet_install_steps}
  postlet_install_links()" COMPONENT links ${postlet_links_scope})

if(NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DRECORD=${postlet_install_record} -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing what the installs recorded in ${postlet_install_record}"
    VERBATIM)
endif()
