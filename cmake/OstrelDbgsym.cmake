# Run by CPack after it made the packages: the debug-symbol package CPack
# writes lists its files by their build-time paths in md5sums (dpkg cannot
# verify them) and has no documentation folder. Each .ddeb is unpacked,
# given relative sums and the folder Debian's symbol packages have (a link
# to the program package's), and packed again.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.ddeb$")
    continue()
  endif()
  set(tree "${package}.tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK ostrel "${tree}/usr/share/doc/ostrel-dbgsym" SYMBOLIC)
  file(GLOB_RECURSE files RELATIVE "${tree}" "${tree}/usr/*")
  list(SORT files)
  set(sums "")
  foreach(file IN LISTS files)
    if(NOT IS_SYMLINK "${tree}/${file}")
      file(MD5 "${tree}/${file}" sum)
      string(APPEND sums "${sum}  ${file}\n")
    endif()
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${package}" OUTPUT_QUIET
                  COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
