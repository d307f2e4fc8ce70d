# Run by CPack in the staging directory just before the Debian package is built: the files
# Debian expects of every package, made from the project's own.
#   usr/share/doc/vesker/copyright     machine-readable, with the text of LICENSE
#   usr/share/doc/vesker/changelog.gz  from packaging/changelog
#   usr/share/man/man1/vesker.1.gz     the manual page, compressed
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
set(root ${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX})
set(doc ${root}/share/doc/vesker)

file(READ ${CPACK_VESKER_SOURCE_DIR}/LICENSE license)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" notice "${license}")
set(holder ${CMAKE_MATCH_1})
string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" terms "${license}")
string(REGEX REPLACE "\n+$" "" terms "${terms}")
string(REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REPLACE "\n" "\n " terms "${terms}")
file(WRITE ${doc}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: vesker

Files: *
Copyright: ${holder}
License: Expat

License: Expat
 ${terms}
")
# The copyright file carries the licence; a second copy is not wanted in a Debian package.
file(REMOVE ${doc}/LICENSE)

foreach(pair "${CPACK_VESKER_PACKAGING_DIR}/changelog|${doc}/changelog"
             "${root}/share/man/man1/vesker.1|${root}/share/man/man1/vesker.1")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  # -n: no name or time stamp in the header, so the package is reproducible.
  execute_process(COMMAND gzip -9nc ${from} OUTPUT_FILE ${to}.gz RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${from} failed")
  endif()
  file(CHMOD ${to}.gz PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
file(REMOVE ${root}/share/man/man1/vesker.1)
