# Installing Ritmolino like any desktop program, and packing it as a .deb.
#
# On Linux the program and its click sn.wav live together in lib/cadrel (the
# program looks for sn.wav in its own folder), and bin/cadrel is a symbolic
# link to it: the program's folder is found through /proc/self/exe, which
# names the link's target. Icons go to the hicolor theme, with a desktop entry
# and AppStream metadata beside them.
include(GNUInstallDirs)

set(CADREL_PICTURES ${CMAKE_SOURCE_DIR}/assets/pictures)

if(WIN32)
    # A windowed program without a console, with cadrel.ico as its icon; the
    # click goes beside the executable. Not built on the project's machines.
    set_target_properties(cadrel PROPERTIES WIN32_EXECUTABLE ON)
    target_sources(cadrel PRIVATE ${CMAKE_CURRENT_LIST_DIR}/windows/cadrel.rc)
    target_include_directories(cadrel PRIVATE ${CADREL_PICTURES})
    install(TARGETS cadrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${CMAKE_SOURCE_DIR}/assets/sn.wav DESTINATION ${CMAKE_INSTALL_BINDIR})
    return()
endif()

set(CADREL_PROGRAM_DIR lib/cadrel)
# The program links no shared library of its own, so it needs no run path.
set_target_properties(cadrel PROPERTIES INSTALL_RPATH "")
install(TARGETS cadrel RUNTIME DESTINATION ${CADREL_PROGRAM_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/assets/sn.wav DESTINATION ${CADREL_PROGRAM_DIR})

# The launcher on the PATH: a relative link, so it holds under any prefix.
set(CADREL_LAUNCHER ${CMAKE_BINARY_DIR}/packaging/cadrel)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/packaging)
file(CREATE_LINK ../${CADREL_PROGRAM_DIR}/cadrel ${CADREL_LAUNCHER} SYMBOLIC)
install(FILES ${CADREL_LAUNCHER} DESTINATION ${CMAKE_INSTALL_BINDIR})

foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${CADREL_PICTURES}/cadrel-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME cadrel.png)
endforeach()
install(FILES ${CADREL_PICTURES}/cadrel.svg
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/cadrel.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/io.github.cadrel.cadrel.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The manual pages, English and Italian, the licence in Debian's machine-readable form and the
# changelog, in Debian's format made from CHANGELOG.md. Compressed as Debian wants them: at
# the highest level, without a time stamp.
set(CADREL_DOCS ${CMAKE_BINARY_DIR}/packaging/docs)
set(cadrel_gzipped "")
function(cadrel_gzip source target)
    add_custom_command(OUTPUT ${target}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CADREL_DOCS}
        COMMAND sh -c "gzip -9 -n -c \"$0\" > \"$1\"" ${source} ${target}
        DEPENDS ${source} VERBATIM)
    set(cadrel_gzipped ${cadrel_gzipped} ${target} PARENT_SCOPE)
endfunction()
add_custom_command(OUTPUT ${CADREL_DOCS}/changelog
    COMMAND ${CMAKE_COMMAND} -DIN=${CMAKE_SOURCE_DIR}/CHANGELOG.md -DOUT=${CADREL_DOCS}/changelog
            -P ${CMAKE_CURRENT_LIST_DIR}/debian/changelog.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${CMAKE_CURRENT_LIST_DIR}/debian/changelog.cmake
    VERBATIM)
cadrel_gzip(${CADREL_DOCS}/changelog ${CADREL_DOCS}/changelog.gz)
cadrel_gzip(${CMAKE_CURRENT_LIST_DIR}/man/cadrel.1 ${CADREL_DOCS}/cadrel.1.gz)
cadrel_gzip(${CMAKE_CURRENT_LIST_DIR}/man/it/cadrel.1 ${CADREL_DOCS}/cadrel.it.1.gz)
add_custom_target(cadrel_docs ALL DEPENDS ${cadrel_gzipped})
install(FILES ${CADREL_DOCS}/cadrel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CADREL_DOCS}/cadrel.it.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/it/man1
    RENAME cadrel.1.gz)
install(FILES ${CADREL_DOCS}/changelog.gz ${CMAKE_CURRENT_LIST_DIR}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DOCDIR})

# cpack -G DEB in the build folder. The package's dependencies come from the
# libraries the program links (dpkg-shlibdeps); the hicolor theme and the
# desktop database are refreshed by their own packages' triggers.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cadrel)
set(CPACK_PACKAGE_VENDOR "Cadrel developers")
set(CPACK_PACKAGE_CONTACT "Cadrel developers <cadrel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Ritmolino, a desktop metronome")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# CPack puts the summary on the Description line and the text below it, each line of it
# within 80 columns.
set(CPACK_PACKAGE_DESCRIPTION "A metronome in a single small window, with an Italian user
interface. The tempo is set between 40 and 250 beats a minute with a slider or
by typing a number; one button starts and stops the beat, which can be sounded
or silent. A pendulum and a light follow every beat, and a counter adds up the
beats of all runs.")
include(CPack)
