# The Debian package tambelo_<version>_amd64.deb, built by
# scripts/package-deb.sh (cpack -G DEB in a build configured for /usr).
set(CPACK_PACKAGE_NAME tambelo)
set(CPACK_PACKAGE_VENDOR "The tambelo developers")
set(CPACK_PACKAGE_CONTACT "The tambelo developers <tambelo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "player for the background music of old Japanese PC games")
set(CPACK_PACKAGE_DESCRIPTION
"tambelo plays the background music of old Japanese PC games straight from
the games' own music files (amus.dat, amus.mda, amus.txt), looping, with each
track's own instruments, on an embedded General MIDI / GS synthesizer or an
external MIDI port.

The package holds the window program tambelo (with desktop entry and media
key support), the command-line tool tambelo-cli (play, list, export to MIDI
and audio files, pack new sets), the playback library libtambelo.so.${TAMBELO_SOVERSION} and
a sample set of six public-domain pieces.")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The build keeps its debugging information; the package does not.
set(CPACK_STRIP_FILES ON)
# Library dependencies come from dpkg-shlibdeps; a SoundFont is what makes
# the embedded synthesizer sound.
# The library is private to the window (its own folder, no shlibs entry, no
# ldconfig). A public library would go into a package of its own
# (lib<name><soversion>, with a -dev package for its header and pkg-config
# file) as a CPack component.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fluid-soundfont-gm | timgm6mb-soundfont")
set(CPACK_GENERATOR DEB)
include(CPack)
