# install.cmake: what `cmake --install` puts on a qmail host, and the rule that takes it away.
#
#   PREFIX/sbin/postlet                  the submission command
#   PREFIX/sbin/postlet-sethome          sets the qmail home held by a built postlet
#   PREFIX/share/man/man8/postlet.8      its manual
#   PREFIX/share/man/man8/postlet-sethome.8
#
# With POSTLET_INSTALL_LINKS=ON, or later with `cmake --install BUILD --component links`, also
# the names under which the host's mail programs look for the submission command, each a
# relative symbolic link, and the manual under the names `man sendmail` and `man mailq` look for:
#
#   PREFIX/sbin/sendmail  PREFIX/lib/sendmail  PREFIX/bin/mailq
#   PREFIX/bin/hoststat   PREFIX/bin/purgestat
#   PREFIX/share/man/man8/sendmail.8  PREFIX/share/man/man8/mailq.8
#
# newaliases is left out on purpose: that name belongs to the alias tool postlet refers to.
# A link install stops, naming the path, where a file that is not already such a link stands;
# with POSTLET_INSTALL_REPLACE=ON it moves that file aside to PATH.postlet-saved instead.
#
# Every install adds to BUILD/install_record.txt the paths it created, DESTDIR included, and
# the files it moved aside. `cmake --build BUILD --target uninstall` removes those paths (a link
# only while it still points where the install made it point), puts saved files back, and
# leaves everything else alone: a file the install found in place and overwrote stays.

option(POSTLET_INSTALL_LINKS "Also install sbin/sendmail, lib/sendmail, bin/mailq, bin/hoststat, bin/purgestat and the manual links" OFF)
option(POSTLET_INSTALL_REPLACE "Let the links install move files that stand in its way to PATH.postlet-saved" OFF)

set(postlet_install_record "${CMAKE_BINARY_DIR}/install_record.txt")
set(postlet_program_paths sbin/postlet sbin/postlet-sethome share/man/man8/postlet.8
    share/man/man8/postlet-sethome.8)

# Directory names are fixed rather than taken from GNUInstallDirs: the places where programs look
# for the submission command (lib/sendmail above all) do not follow a distribution's libdir.
# Before the files are copied, note which of them exist already; afterwards record the others.
install(CODE "
  set(postlet_existing \"\")
  foreach(path ${postlet_program_paths})
    set(full \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${path}\")
    if(EXISTS \"\${full}\" OR IS_SYMLINK \"\${full}\")
      list(APPEND postlet_existing \"\${full}\")
    endif()
  endforeach()" COMPONENT programs)
install(TARGETS postlet postlet-sethome RUNTIME DESTINATION sbin COMPONENT programs)
install(FILES ${CMAKE_SOURCE_DIR}/doc/postlet.8 ${CMAKE_SOURCE_DIR}/doc/postlet-sethome.8
        DESTINATION share/man/man8 COMPONENT programs)
install(CODE "
  foreach(path ${postlet_program_paths})
    set(full \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${path}\")
    list(FIND postlet_existing \"\${full}\" found)
    if(found EQUAL -1)
      file(APPEND \"${postlet_install_record}\" \"file \${full}\\n\")
    endif()
  endforeach()" COMPONENT programs)

# Each entry: the path below the prefix, then where the link points.
set(postlet_links
    "sbin/sendmail:postlet"
    "lib/sendmail:../sbin/postlet"
    "bin/mailq:../sbin/postlet"
    "bin/hoststat:../sbin/postlet"
    "bin/purgestat:../sbin/postlet"
    "share/man/man8/sendmail.8:postlet.8"
    "share/man/man8/mailq.8:postlet.8")
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
# Checked for every link before any is made, so that a refusal leaves nothing half done.
install(CODE "
  set(postlet_links \"${postlet_links}\")
  set(postlet_link_plan \"\")
  foreach(entry IN LISTS postlet_links)
    string(REPLACE \":\" \";\" entry \"\${entry}\")
    list(GET entry 0 link)
    list(GET entry 1 target)
    set(full \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/\${link}\")
    set(action create)
    get_filename_component(target_name \"\${target}\" NAME)
    if(IS_SYMLINK \"\${full}\")
      file(READ_SYMLINK \"\${full}\" old)
      get_filename_component(old_name \"\${old}\" NAME)
      if(old_name STREQUAL target_name)
        set(action keep)
      endif()
    endif()
    if(action STREQUAL create AND (EXISTS \"\${full}\" OR IS_SYMLINK \"\${full}\"))
      if(NOT ${postlet_replace})
        message(FATAL_ERROR \"\${full} exists and is not a link to \${target_name}: not replaced (move it away, or configure with -DPOSTLET_INSTALL_REPLACE=ON to keep it as \${full}.postlet-saved)\")
      endif()
      if(EXISTS \"\${full}.postlet-saved\" OR IS_SYMLINK \"\${full}.postlet-saved\")
        message(FATAL_ERROR \"\${full}.postlet-saved exists already: \${full} not replaced\")
      endif()
      set(action replace)
    endif()
    list(APPEND postlet_link_plan \"\${action}|\${full}|\${target}\")
  endforeach()
  foreach(step IN LISTS postlet_link_plan)
    string(REPLACE \"|\" \";\" step \"\${step}\")
    list(GET step 0 action)
    list(GET step 1 full)
    list(GET step 2 target)
    if(action STREQUAL keep)
      message(STATUS \"Up-to-date: \${full}\")
      continue()
    endif()
    if(action STREQUAL replace)
      file(RENAME \"\${full}\" \"\${full}.postlet-saved\")
      message(STATUS \"Saved: \${full}.postlet-saved\")
      file(APPEND \"${postlet_install_record}\" \"saved \${full}\\n\")
    endif()
    get_filename_component(dir \"\${full}\" DIRECTORY)
    file(MAKE_DIRECTORY \"\${dir}\")
    file(CREATE_LINK \"\${target}\" \"\${full}\" SYMBOLIC)
    message(STATUS \"Installing: \${full} -> \${target}\")
    file(APPEND \"${postlet_install_record}\" \"link \${full} \${target}\\n\")
  endforeach()" COMPONENT links ${postlet_links_scope})

if(NOT TARGET uninstall)
  add_custom_target(uninstall
    COMMAND ${CMAKE_COMMAND} -DRECORD=${postlet_install_record} -P ${CMAKE_CURRENT_LIST_DIR}/uninstall.cmake
    COMMENT "Removing what the installs recorded in ${postlet_install_record}"
    VERBATIM)
endif()
