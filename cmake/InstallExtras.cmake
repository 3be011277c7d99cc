# SPDX-License-Identifier: GPL-3.0-or-later
# What comes with the programs: the user units that start the bundled sites on demand, the
# manual pages, the AppStream metadata, the copyright file and the changelog.
set(LUMO_DIST ${PROJECT_SOURCE_DIR}/dist)
set(LUMO_DIST_OUT ${PROJECT_BINARY_DIR}/dist)
find_program(LUMO_GZIP gzip REQUIRED)
find_program(LUMO_HELP2MAN help2man)
set_property(GLOBAL PROPERTY LUMO_GZIPPED)

# Compressed copy of `plain` (a file in the build tree) as `plain`.gz: best compression and
# no name or time stamp inside, as Debian's tools expect of pages and changelogs.
function(lumo_gzip plain)
    add_custom_command(OUTPUT ${plain}.gz COMMAND ${LUMO_GZIP} -9nkf ${plain}
                       DEPENDS ${plain} ${ARGN} VERBATIM)
    set_property(GLOBAL APPEND PROPERTY LUMO_GZIPPED ${plain}.gz)
endfunction()

install(FILES ${PROJECT_SOURCE_DIR}/resources/org.example.lumo.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

configure_file(${LUMO_DIST}/debian/changelog ${LUMO_DIST_OUT}/changelog COPYONLY)
lumo_gzip(${LUMO_DIST_OUT}/changelog)
install(FILES ${LUMO_DIST}/debian/copyright ${LUMO_DIST_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

configure_file(${LUMO_DIST}/man/lumo.1.in ${LUMO_DIST_OUT}/man/lumo.1 @ONLY)
lumo_gzip(${LUMO_DIST_OUT}/man/lumo.1)
install(FILES ${LUMO_DIST_OUT}/man/lumo.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(TARGET lumo-sites)
    # The service names lumo-sites by the path it is installed at, which only the install
    # knows: the package installs under /usr whatever prefix the build was configured with.
    install(CODE "set(LUMO_SITES_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lumo-sites\")
        configure_file(\"${LUMO_DIST}/systemd/lumo-sites.service.in\"
                       \"${LUMO_DIST_OUT}/lumo-sites.service\" @ONLY)")
    install(FILES ${LUMO_DIST}/systemd/lumo-sites.socket ${LUMO_DIST_OUT}/lumo-sites.service
            DESTINATION lib/systemd/user)
endif()

if(TARGET lumo-sites)
    # The daily fetch of the deletion lists, as a user timer.
    install(CODE "set(LUMO_SITES_PATH \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lumo-sites\")
        configure_file(\"${LUMO_DIST}/systemd/lumo-sites-refresh.service.in\"
                       \"${LUMO_DIST_OUT}/lumo-sites-refresh.service\" @ONLY)")
    install(FILES ${LUMO_DIST}/systemd/lumo-sites-refresh.timer
                  ${LUMO_DIST_OUT}/lumo-sites-refresh.service
            DESTINATION lib/systemd/user)
endif()

# The command-line programs' pages come from their --help, with an include file adding
# sections (or a [NAME] of its own) when there is one. Their help is Chinese: help2man runs
# them in a UTF-8 locale. Deferred to the end of the top
# directory, so that a program added anywhere in the tree gets its page.
function(lumo_command_pages)
    if(NOT LUMO_HELP2MAN)
        message(WARNING "help2man not found: no manual pages for the command-line programs")
    endif()
    set(whatis_lumo-sites "serve the listing, lookup and maker sites that lumo reads")
    set(whatis_lumo-cli "Lumo's command-line program")
    set(include_lumo-sites ${LUMO_DIST}/man/lumo-sites.h2m)
    set(include_lumo-cli ${PROJECT_SOURCE_DIR}/src/cli/lumo-cli.h2m) # kept beside its commands
    foreach(program lumo-sites lumo-cli)
        if(NOT TARGET ${program} OR NOT LUMO_HELP2MAN)
            continue()
        endif()
        set(page ${LUMO_DIST_OUT}/man/${program}.1)
        set(include ${include_${program}})
        if(NOT EXISTS ${include})
            set(include)
        endif()
        add_custom_command(
            OUTPUT ${page}
            COMMAND ${LUMO_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
                    --name=${whatis_${program}} --opt-include=${include_${program}} --locale=C.UTF-8
                    --output=${page} $<TARGET_FILE:${program}>
            # groff breaks and stretches lines only at blanks, and Chinese has none: let it
            # break after the punctuation marks, where Chinese text breaks, and not justify.
            COMMAND sed -i -e "s/\\([，、；：。）]\\)/\\1\\\\:/g" -e "/^\\.TH /a .ad l" ${page}
            DEPENDS ${program} ${include} VERBATIM)
        lumo_gzip(${page})
        install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endforeach()
    get_property(gzipped GLOBAL PROPERTY LUMO_GZIPPED)
    add_custom_target(lumo_dist ALL DEPENDS ${gzipped})
endfunction()
cmake_language(DEFER CALL lumo_command_pages)

# Where the window and lumo-cli look for lumo-sites besides their own folder: the install
# directory, and in a build tree that tree's own, which they use only when run from inside it.
if(TARGET lumo_core)
    set(launcher ${PROJECT_SOURCE_DIR}/src/launch/bundledsites.cpp)
    set_property(SOURCE ${launcher} TARGET_DIRECTORY lumo_core APPEND PROPERTY
                 COMPILE_DEFINITIONS LUMO_INSTALL_BINDIR="${CMAKE_INSTALL_FULL_BINDIR}")
    if(TARGET lumo-sites)
        set_property(SOURCE ${launcher} TARGET_DIRECTORY lumo_core APPEND PROPERTY
                     COMPILE_DEFINITIONS LUMO_BUILD_TREE="${PROJECT_BINARY_DIR}"
                                         LUMO_BUILD_SITES="$<TARGET_FILE:lumo-sites>")
    endif()
endif()
