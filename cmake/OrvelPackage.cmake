# The Debian package (scripts/package.sh): everything `cmake --install` puts under the prefix,
# with the dependencies dpkg-shlibdeps finds in the program, its auxiliaries and the audio module.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvel-raza)
set(CPACK_PACKAGE_VENDOR "Orvel Raza")
set(CPACK_PACKAGE_CONTACT "Orvel Raza developers <orvel-raza@users.noreply.github.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dictation and writing assistant for every application")
set(CPACK_PACKAGE_DESCRIPTION "Orvel Raza sits in the tray and offers Dictation and Command in every
application: speech is transcribed on this computer by whisper.cpp's
engines and written at the cursor; selected text is rewritten by a local
GGUF model or the user's own OpenAI model from a spoken instruction.
.
Where the system has no whisper.cpp and llama.cpp packages, the program
fetches Debian's packages of them into the user's own folder, without root.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ORVEL_SPEECH_PRIVATE_LIBS)
  # The speech host links to whisper.cpp in the user's own engine folder, which no package provides.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${ORVEL_SPEECH_PRIVATE_LIBS}")
endif()
# What the binaries load at run time without linking to it: Qt's platform plugins and the sound
# backend of Qt Multimedia; the engine script runs apt-get (and dpkg-deb, which is essential)
# under its own configuration.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "apt, qt6-qpa-plugins, gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-pulseaudio")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "whisper.cpp-tools, llama.cpp-tools, debian-archive-keyring, at-spi2-core, qt6-wayland")
# The keyring that keeps an OpenAI key.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnome-keyring")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
