# Installing and packaging (included at the end of the top-level CMakeLists.txt).
#
# Linux (`cmake --install`, and the Debian package made by `cpack -G DEB`):
#   bin/vesker                    symbolic link to ../lib/vesker/vesker
#   lib/vesker/vesker             the program; it finds its directory through the resolved
#                                 path of the running executable, so the rule "the tuner
#                                 library beside the executable" holds through the link
#   lib/vesker/libLumorath.so     the default tuner library
#   lib/vesker/liblumorath-sim.so the simulated tuner under its own name
#   share/doc/vesker/             README.md, LICENSE, examples/
#   share/man/man1/vesker.1       the manual page
# Windows (`cpack -G ZIP` in a mingw-w64 build): vesker.exe, readme.txt, LICENSE.txt,
# examples\ and simulator\Lumorath.dll. No Lumorath.dll stands at the top, so unpacking the
# zip beside a vendor's library never replaces it.

set(VESKER_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# Directories as packages expect them, whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# A tuner library installed under a name of its own. install(FILES) never strips, so
# `cmake --install --strip` (and cpack) strip it here.
function(vesker_install_library target destination name)
  install(FILES $<TARGET_FILE:${target}> DESTINATION ${destination} RENAME ${name})
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --strip-unneeded
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/${name}\")
endif()")
endfunction()

if(WIN32)
  install(TARGETS vesker RUNTIME DESTINATION .)
  if(TARGET Lumorath)
    vesker_install_library(Lumorath simulator Lumorath.dll)
  endif()
  # Text files get CR LF line ends, as Windows editors expect; the readme names the version.
  file(READ ${VESKER_PACKAGING_DIR}/windows-readme.txt readme)
  string(CONFIGURE "${readme}" readme @ONLY)
  set(windows_texts "readme.txt|readme" "LICENSE.txt|${PROJECT_SOURCE_DIR}/LICENSE")
  file(GLOB example_files ${PROJECT_SOURCE_DIR}/examples/*)
  foreach(example ${example_files})
    get_filename_component(example_name ${example} NAME)
    list(APPEND windows_texts "examples/${example_name}|${example}")
  endforeach()
  foreach(entry ${windows_texts})
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 name)
    list(GET entry 1 source)
    if(source STREQUAL "readme")
      set(text "${readme}")
    else()
      file(READ ${source} text)
    endif()
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${CMAKE_BINARY_DIR}/windows-package/${name} "${text}")
    get_filename_component(destination ${name} DIRECTORY)
    install(FILES ${CMAKE_BINARY_DIR}/windows-package/${name} DESTINATION ./${destination})
  endforeach()
  # Re-run the configuration when one of those files changes.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${VESKER_PACKAGING_DIR}/windows-readme.txt ${PROJECT_SOURCE_DIR}/LICENSE ${example_files})

  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME vesker-${PROJECT_VERSION}-windows-${CMAKE_SYSTEM_PROCESSOR})
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  set(VESKER_LIBRARY_DIR lib/vesker)
  install(TARGETS vesker RUNTIME DESTINATION ${VESKER_LIBRARY_DIR})

  # The installed default tuner library: the simulator until the Linux DVB library is built;
  # when its target exists, it becomes libLumorath.so and the simulator stays beside it.
  set(VESKER_DEFAULT_TUNER Lumorath)
  if(TARGET lumorath-dvb)
    set(VESKER_DEFAULT_TUNER lumorath-dvb)
  endif()
  if(TARGET ${VESKER_DEFAULT_TUNER})
    vesker_install_library(${VESKER_DEFAULT_TUNER} ${VESKER_LIBRARY_DIR} libLumorath.so)
  endif()
  if(TARGET Lumorath)
    vesker_install_library(Lumorath ${VESKER_LIBRARY_DIR} liblumorath-sim.so)
  endif()

  # bin/vesker: a relative link made in the build tree and installed as a link.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
  file(CREATE_LINK ../${VESKER_LIBRARY_DIR}/vesker ${CMAKE_BINARY_DIR}/install-links/vesker SYMBOLIC)
  install(FILES ${CMAKE_BINARY_DIR}/install-links/vesker DESTINATION bin)

  install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION share/doc/vesker)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/ DESTINATION share/doc/vesker/examples)
  install(FILES ${PROJECT_SOURCE_DIR}/doc/vesker.1 DESTINATION share/man/man1)

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SECTION video)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Vesker developers <vesker@example.org>"
      CACHE STRING "Maintainer field of the Debian package")
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; CPack indents these lines.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Vesker steps a DVB-S/S2 tuner across the configured frequency intervals of a
satellite band, lets the tuner's blind search lock whatever carrier lies near
each step, and writes per pass a detailed report and a channel list in one of
seven formats. It selects the dish's switch input and moves its motor (DiSEqC
1.0, 1.1, 1.2, tone burst and USALS).

The tuner is reached through the tuner library Lumorath, loaded at run time;
the one installed drives DVB-S/S2 cards through the Linux DVB frontend API. A
simulated tuner is installed beside it, so the program can be tried without
hardware.")
  # The Debian-only files (copyright, changelog, compressed manual page) are made in the
  # staging directory just before the package is built; the ldconfig scripts CPack adds
  # are taken out afterwards (see debian-finish.cmake).
  set(CPACK_PRE_BUILD_SCRIPTS ${VESKER_PACKAGING_DIR}/debian-prepare.cmake)
  set(CPACK_POST_BUILD_SCRIPTS ${VESKER_PACKAGING_DIR}/debian-finish.cmake)
  set(CPACK_VESKER_PACKAGING_DIR ${VESKER_PACKAGING_DIR})
  set(CPACK_VESKER_SOURCE_DIR ${PROJECT_SOURCE_DIR})
endif()

set(CPACK_PACKAGE_NAME vesker)
set(CPACK_PACKAGE_VENDOR "the Vesker developers")
set(CPACK_PACKAGE_CONTACT "Vesker developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "blind scan of a satellite band with a DVB-S/S2 tuner")
set(CPACK_STRIP_FILES ON)
include(CPack)
