# The Debian packages, built by scripts/package-deb.sh (cpack -G DEB in a
# build configured for /usr), one for each install component:
#   tambelo                   the programs, the private libtambelo.so, the sample set
#   libtambelo-render0        the rendering library libtambelo-render.so.0
#   libtambelo-render-dev     its header, link name and pkg-config file
#   audacious-plugin-tambelo  the Audacious input plugin
#   gstreamer1.0-tambelo      the GStreamer plugin
# Included at the end of the top-level CMakeLists.txt, once every install
# rule is known (the plugins come last), so that a plugin the build leaves
# out (its host's development files missing) gets no package either.
set(deb_source_dir ${PROJECT_SOURCE_DIR}/packaging)
set(deb_binary_dir ${PROJECT_BINARY_DIR}/packaging)

set(CPACK_PACKAGE_NAME tambelo)
set(CPACK_PACKAGE_VENDOR "The tambelo developers")
set(CPACK_PACKAGE_CONTACT "The tambelo developers <tambelo@example.org>")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The build keeps its debugging information; the packages do not.
set(CPACK_STRIP_FILES ON)
# Library dependencies come from dpkg-shlibdeps. It finds the rendering
# library, which the plugins link, in the build tree; its package is not
# installed here, so the plugins name it themselves below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/library/render)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_GENERATOR DEB)

# Every package carries the licence and the changelog in its own
# /usr/share/doc/<package>/, as Debian asks.
function(tambelo_debian_docs component package)
  install(FILES ${deb_source_dir}/debian/copyright ${deb_binary_dir}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endfunction()

# What the embedded synthesizer needs to make a sound, and the GS variation
# tones it stacks over the General MIDI SoundFont when they are installed.
set(soundfonts "fluid-soundfont-gm | timgm6mb-soundfont, fluid-soundfont-gs")

# The programs: everything installed without a component of its own.
set(CPACK_COMPONENTS_ALL Unspecified)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_NAME tambelo)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_RECOMMENDS ${soundfonts})
set(CPACK_DEBIAN_UNSPECIFIED_DESCRIPTION
"player for the background music of old Japanese PC games
tambelo plays the background music of old Japanese PC games straight from
the games' own music files (amus.dat, amus.mda, amus.txt), looping, with each
track's own instruments, on an embedded General MIDI / GS synthesizer or an
external MIDI port.

The package holds the window program tambelo (with desktop entry and media
key support), the command-line tool tambelo-cli (play, list, export to MIDI
and audio files, pack new sets), the playback library libtambelo.so.${TAMBELO_SOVERSION} and
a sample set of six public-domain pieces.")

if(TARGET tambelo_render_c)
  # A public library: its package is named after its SONAME, tells
  # dpkg-shlibdeps what to depend on (the shlibs and symbols files: every
  # export and the version that brought it) and has ldconfig refresh the
  # library cache through dpkg's trigger once per run.
  set(render_package libtambelo-render${TAMBELO_RENDER_VERSION_MAJOR})
  set(render_control_dir ${deb_binary_dir}/${render_package})
  configure_file(${deb_source_dir}/debian/${render_package}.symbols ${render_control_dir}/symbols COPYONLY)
  file(WRITE ${render_control_dir}/shlibs
    "libtambelo-render ${TAMBELO_RENDER_VERSION_MAJOR} ${render_package} (>= ${PROJECT_VERSION})\n")
  file(WRITE ${render_control_dir}/triggers "activate-noawait ldconfig\n")
  tambelo_debian_docs(render-runtime ${render_package})
  tambelo_debian_docs(render-development libtambelo-render-dev)
  list(APPEND CPACK_COMPONENTS_ALL render-runtime render-development)

  set(CPACK_DEBIAN_RENDER-RUNTIME_PACKAGE_NAME ${render_package})
  set(CPACK_DEBIAN_RENDER-RUNTIME_PACKAGE_SOURCE tambelo)
  set(CPACK_DEBIAN_RENDER-RUNTIME_PACKAGE_SECTION libs)
  set(CPACK_DEBIAN_RENDER-RUNTIME_PACKAGE_RECOMMENDS ${soundfonts})
  set(CPACK_DEBIAN_RENDER-RUNTIME_PACKAGE_CONTROL_EXTRA
    ${render_control_dir}/shlibs ${render_control_dir}/symbols ${render_control_dir}/triggers)
  set(CPACK_DEBIAN_RENDER-RUNTIME_DESCRIPTION
"library rendering the music of old Japanese PC games as audio
libtambelo-render renders the tracks of tambelo music sets (the amus.dat,
amus.mda and amus.txt files of old Japanese PC games) as PCM audio, pulled a
block at a time: track titles and lengths, loop count, fade-out, seamless or
endless loops, and seeking, through a small C interface.

This package holds the shared library, for the programs and player plugins
that use it.")

  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_PACKAGE_NAME libtambelo-render-dev)
  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_PACKAGE_SOURCE tambelo)
  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_PACKAGE_SECTION libdevel)
  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_PACKAGE_DEPENDS "${render_package} (= ${PROJECT_VERSION})")
  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_PACKAGE_SHLIBDEPS OFF)
  set(CPACK_DEBIAN_RENDER-DEVELOPMENT_DESCRIPTION
"library rendering the music of old Japanese PC games - development files
libtambelo-render renders the tracks of tambelo music sets (the amus.dat,
amus.mda and amus.txt files of old Japanese PC games) as PCM audio, pulled a
block at a time, through a small C interface.

This package holds what building a program against it takes: the header
tambelo/render.h, which documents every call, the link name and the
pkg-config file tambelo-render.")
endif()

# The plugins play through the rendering library, of this version or newer.
set(plugin_depends "libtambelo-render${TAMBELO_RENDER_VERSION_MAJOR} (>= ${PROJECT_VERSION})")
# The window asks it for the lengths its media controls show.
if(TARGET tambelo_render_c AND TARGET tambelo_program)
  set(CPACK_DEBIAN_UNSPECIFIED_PACKAGE_DEPENDS ${plugin_depends})
endif()

if(TARGET audacious_tambelo)
  tambelo_debian_docs(audacious-plugin audacious-plugin-tambelo)
  list(APPEND CPACK_COMPONENTS_ALL audacious-plugin)
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_NAME audacious-plugin-tambelo)
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_SOURCE tambelo)
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_DEPENDS ${plugin_depends})
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_RECOMMENDS ${soundfonts})
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_PACKAGE_ENHANCES audacious)
  set(CPACK_DEBIAN_AUDACIOUS-PLUGIN_DESCRIPTION
"Audacious plugin for the music of old Japanese PC games
This input plugin lets Audacious play tambelo music sets, the amus.dat,
amus.mda and amus.txt files of old Japanese PC games: every track of a set is
a subtune with its title, the game's title as album, and its length, with
seeking. The loop count, fade-out, endless looping and SoundFont are set in
Audacious's own settings dialog.")
endif()

if(TARGET gsttambelo)
  tambelo_debian_docs(gstreamer-plugin gstreamer1.0-tambelo)
  list(APPEND CPACK_COMPONENTS_ALL gstreamer-plugin)
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_PACKAGE_NAME gstreamer1.0-tambelo)
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_PACKAGE_SOURCE tambelo)
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_PACKAGE_DEPENDS ${plugin_depends})
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_PACKAGE_RECOMMENDS ${soundfonts})
  set(CPACK_DEBIAN_GSTREAMER-PLUGIN_DESCRIPTION
"GStreamer plugin for the music of old Japanese PC games
This plugin lets GStreamer programs play tambelo music sets, the amus.dat,
amus.mda and amus.txt files of old Japanese PC games: a type finder that
recognises score archives by their contents and the decoder element
tambelodec, which renders a chosen track as raw audio with its tags and
duration, and seeks.")
endif()

include(CPack)
