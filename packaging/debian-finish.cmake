# Run by CPack after the Debian package is built. CPack gives every package with a library
# under /usr/lib/* a postinst and a postrm that call ldconfig. These libraries are the
# program's private tuner libraries in /usr/lib/vesker, loaded by path and never looked up
# through the ldconfig cache; the postrm would only keep the package in dpkg's database
# after `dpkg -r`. The package is rebuilt without the two scripts.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
foreach(package ${CPACK_PACKAGE_FILES})
  set(tree ${package}.tree)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb --raw-extract ${package} failed")
  endif()
  foreach(script postinst postrm)
    file(READ ${tree}/DEBIAN/${script} text)
    if(NOT text MATCHES "^#!/bin/sh\n\nset -e\n\nif \\[ \"\\$1\" = \"[a-z]+\" \\]; then\n\tldconfig\nfi\n$")
      message(FATAL_ERROR "${script} of ${package} does more than call ldconfig:\n${text}")
    endif()
    file(REMOVE ${tree}/DEBIAN/${script})
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip --build ${tree} ${package}
                  OUTPUT_QUIET RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "dpkg-deb --build ${package} failed")
  endif()
  file(REMOVE_RECURSE ${tree})
endforeach()
