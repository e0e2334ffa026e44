# Engine launchers made by scripts/engines.sh go into the build tree's libexec/orvel-raza, beside
# the program's own auxiliaries. They are not installed: they point into the building user's
# home, and an installed program finds each user's own engine folder itself.
set(ORVEL_ENGINE_DIR "" CACHE PATH "Private engine folder whose launch/ scripts start the engines")
set(ORVEL_ENGINES_STATE "none" CACHE STRING "How set-up provided the engines: found, private or none")
set(ORVEL_ENGINE_PROGRAMS whisper-cli parakeet-cli llama-server)

foreach(program IN LISTS ORVEL_ENGINE_PROGRAMS)
  set(launcher "${ORVEL_ENGINE_DIR}/launch/${program}")
  set(placed "${ORVEL_LIBEXEC_OUTPUT_DIR}/${program}")
  if(ORVEL_ENGINE_DIR AND EXISTS "${launcher}")
    configure_file("${launcher}" "${placed}" COPYONLY)
  elseif(EXISTS "${placed}")
    # A launcher left from an earlier set-up would hide the engine found now.
    file(STRINGS "${placed}" ours REGEX "^# orvel-raza engine launcher")
    if(ours)
      file(REMOVE "${placed}")
    endif()
  endif()
endforeach()

# The script behind "Get the speech engines", the same one set-up runs.
foreach(script IN ITEMS engines.sh engines-private.sh)
  configure_file("${CMAKE_SOURCE_DIR}/scripts/${script}" "${ORVEL_LIBEXEC_OUTPUT_DIR}/${script}" COPYONLY)
  install(PROGRAMS "${CMAKE_SOURCE_DIR}/scripts/${script}" DESTINATION "${ORVEL_LIBEXEC_SUBDIR}")
endforeach()
