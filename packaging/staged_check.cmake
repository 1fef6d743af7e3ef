# Run by cpack on the staged files, before it packs them (CPACK_PRE_BUILD_SCRIPTS): a package of
# section games holds its program in /usr/games, which needs the build configured with
# -DCMAKE_INSTALL_BINDIR=games. Without it the package would install a game into /usr/bin.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
if(NOT EXISTS "${staged}/games/tombola" OR EXISTS "${staged}/bin/tombola")
    message(FATAL_ERROR "the package needs the program in ${CPACK_PACKAGING_INSTALL_PREFIX}/games: "
        "configure with -DCMAKE_INSTALL_BINDIR=games (as scripts/test-package.sh does)")
endif()
