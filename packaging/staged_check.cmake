# Run by cpack on the staged files, before it packs them (CPACK_PRE_BUILD_SCRIPTS): a package of
# section games holds its program in /usr/games, where the build installs it unless it was configured
# with another CMAKE_INSTALL_BINDIR. Such a package would install a game into /usr/bin.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT EXISTS "${staged}/games/tombola" OR EXISTS "${staged}/bin/tombola")
    message(FATAL_ERROR "the package needs the program in ${CPACK_PACKAGING_INSTALL_PREFIX}/games: "
        "configure without -DCMAKE_INSTALL_BINDIR, or with -DCMAKE_INSTALL_BINDIR=games")
endif()
