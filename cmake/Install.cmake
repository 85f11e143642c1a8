# Install layout and the Debian package.
#
#   bin/                  qortaiir, qortafir, qorta (where libsndfile was found) and the plug-in host simulator
#   lib/qorta/            qortaiir.auf and qortafir.auf
#   lib/lv2/qorta.lv2/    the LV2 bundle (manifest.ttl, qorta.ttl, qorta.so)
#   lib/ladspa/           qorta.so, the LADSPA library (and a link to it in
#                         lib/MULTIARCH/ladspa/, where Debian's sox looks)
#   share/qorta/pipewire/ qorta-line-in.conf, a corrected line input for PipeWire
#   share/man/man1/       qortaiir.1.gz, qortafir.1.gz and qorta.1.gz
#   share/bash-completion/completions/qorta
#   share/man/man7/       qorta-plugins.7.gz, the LV2 and LADSPA plug-ins
#
# Included at the end of the top-level CMakeLists.txt, after every target
# exists, so that the optional targets can be tested for.
include(GNUInstallDirs)

set(QORTA_PLUGIN_INSTALL_DIR "lib/qorta" CACHE STRING
    "Folder for the .auf plug-ins, relative to the install prefix")

install(TARGETS qortaiir qortafir RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET qorta)
  install(TARGETS qorta RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/qorta/qorta-completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME qorta)
endif()

# The plug-ins and the host simulator are installed when this build has them.
foreach(plugin qortaiir_auf qortafir_auf)
  if(TARGET ${plugin})
    install(TARGETS ${plugin} LIBRARY DESTINATION ${QORTA_PLUGIN_INSTALL_DIR})
  endif()
endforeach()
# The real-time plug-ins, where lv2-dev and ladspa-sdk were found. lib/lv2
# and lib/ladspa are where hosts look under /usr and /usr/local.
if(TARGET qorta_lv2)
  install(TARGETS qorta_lv2 LIBRARY DESTINATION lib/lv2/qorta.lv2)
  install(FILES ${QORTA_LV2_BUNDLE}/manifest.ttl ${QORTA_LV2_BUNDLE}/qorta.ttl DESTINATION lib/lv2/qorta.lv2)
endif()
if(TARGET qorta_ladspa)
  install(TARGETS qorta_ladspa LIBRARY DESTINATION lib/ladspa)
  # Debian's sox searches only the multiarch folder (lib/x86_64-linux-gnu/ladspa),
  # ecasound only lib/ladspa: a link in the first makes both find the library.
  if(CMAKE_LIBRARY_ARCHITECTURE)
    set(multiarch_ladspa "lib/${CMAKE_LIBRARY_ARCHITECTURE}/ladspa")
    install(CODE "
      set(folder \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${multiarch_ladspa}\")
      file(MAKE_DIRECTORY \"\${folder}\")
      file(CREATE_LINK ../../ladspa/qorta.so \"\${folder}/qorta.so\" SYMBOLIC)
      message(STATUS \"Installing: \${folder}/qorta.so -> ../../ladspa/qorta.so\")")
  endif()
endif()
# The PipeWire filter-chain configuration of a corrected line input.
install(FILES ${PROJECT_SOURCE_DIR}/share/qorta/pipewire/qorta-line-in.conf
        DESTINATION ${CMAKE_INSTALL_DATADIR}/qorta/pipewire)
foreach(host qortahost qorta_host)
  if(TARGET ${host})
    get_target_property(host_type ${host} TYPE)
    if(host_type STREQUAL "EXECUTABLE")
      install(TARGETS ${host} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
      break()
    endif()
  endif()
endforeach()

# Manual pages, compressed the way Debian installs them (without a time stamp,
# so the package is reproducible); uncompressed where gzip is missing.
find_program(QORTA_GZIP gzip)
set(man_pages)
set(pages qortaiir.1 qortafir.1 qorta-plugins.7)
if(TARGET qorta)
  list(APPEND pages qorta.1)
endif()
foreach(page ${pages})
  set(source ${PROJECT_SOURCE_DIR}/man/${page})
  if(QORTA_GZIP)
    set(target_file ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(
      OUTPUT ${target_file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${PROJECT_BINARY_DIR}/man/${page}
      COMMAND ${QORTA_GZIP} -9nf ${PROJECT_BINARY_DIR}/man/${page}
      DEPENDS ${source}
      COMMENT "Compressing ${page}"
      VERBATIM)
    list(APPEND man_pages ${target_file})
  else()
    list(APPEND man_pages ${source})
  endif()
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
foreach(page ${man_pages})
  string(REGEX MATCH "\\.([0-9])(\\.gz)?$" suffix "${page}")  # the section, in CMAKE_MATCH_1
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man${CMAKE_MATCH_1})
endforeach()

# The Debian package: cpack -G DEB in the build folder.
set(QORTA_PACKAGE_MAINTAINER "" CACHE STRING
    "Maintainer field of the package; empty takes git's user.name and user.email")
set(maintainer "${QORTA_PACKAGE_MAINTAINER}")
if(maintainer STREQUAL "")
  find_program(QORTA_GIT git)
  if(QORTA_GIT)
    execute_process(COMMAND ${QORTA_GIT} config user.name WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE git_name OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND ${QORTA_GIT} config user.email WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
                    OUTPUT_VARIABLE git_email OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(git_name AND git_email)
      set(maintainer "${git_name} <${git_email}>")
    endif()
  endif()
endif()
if(maintainer STREQUAL "")
  set(maintainer "qorta maintainers <root@localhost>")
endif()

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "qorta")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${maintainer}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${maintainer}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bass level corrector for WAV recordings")
# The summary above is the first line of the description; CPack indents these.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Recordings made through the line input of the PC-QORTA/PCI sound card come
out thin in the bass and with a DC offset. qortaiir (recursive filter) and
qortafir (linear-phase kernel, no delay) correct 8-bit and 16-bit PCM WAV
files, one file, a list of files or a whole folder at a time, and qorta
corrects files of any format libsndfile reads, several at once: they remove
the DC offset, add a low-passed copy of the signal, take away sub-sonic
content, and apply an output gain and fades. The same correctors come as
LV2 and LADSPA plug-ins for audio and video editors, ffmpeg, sox and melt.")
find_program(QORTA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QORTA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6, libgcc-s1, libstdc++6")
endif()
include(CPack)
