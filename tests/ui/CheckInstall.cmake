# Installs the build into a scratch prefix and checks that a desktop finds everything there:
# the program, its audio module, its resources beside it, the menu entry, the autostart entry and the icon.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
  RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(f IN ITEMS
    bin/OrvelPlus
    ${LIBDIR}/orvel-raza/liborvel-audio.so
    share/orvel-raza/OrvelPlusMenuBarTemplate.png
    share/orvel-raza/orvel-raza.png
    share/orvel-raza/sounds/Pop.wav
    share/orvel-raza/sounds/Glass.wav
    share/orvel-raza/sounds/Tink.wav
    share/orvel-raza/symbols/waveform.png
    share/orvel-raza/autostart/orvel-raza.desktop
    share/applications/orvel-raza.desktop
    share/icons/hicolor/256x256/apps/orvel-raza.png)
  if(NOT EXISTS "${PREFIX}/${f}")
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
# Every auxiliary program of the build is installed where the program looks for it, except the
# engine launchers set-up made: those point into the building user's home.
file(GLOB auxiliaries RELATIVE "${BUILD}/libexec/orvel-raza" "${BUILD}/libexec/orvel-raza/*")
foreach(a IN LISTS auxiliaries)
  file(STRINGS "${BUILD}/libexec/orvel-raza/${a}" launcher LIMIT_COUNT 2 REGEX "^# orvel-raza engine launcher")
  if(launcher AND EXISTS "${PREFIX}/libexec/orvel-raza/${a}")
    message(FATAL_ERROR "engine launcher installed: ${a}")
  elseif(NOT launcher AND NOT EXISTS "${PREFIX}/libexec/orvel-raza/${a}")
    message(FATAL_ERROR "auxiliary program not installed: ${a}")
  endif()
endforeach()
file(READ "${PREFIX}/share/applications/orvel-raza.desktop" entry)
foreach(line IN ITEMS "Name=Orvel Raza" "Exec=OrvelPlus" "Icon=orvel-raza" "Type=Application")
  string(FIND "${entry}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "menu entry lacks ${line}")
  endif()
endforeach()
file(READ "${PREFIX}/share/orvel-raza/autostart/orvel-raza.desktop" autostart)
string(FIND "${autostart}" "Exec=OrvelPlus --hidden" at)
if(at LESS 0)
  message(FATAL_ERROR "autostart entry does not start the program in the tray")
endif()
file(REMOVE_RECURSE "${PREFIX}")
