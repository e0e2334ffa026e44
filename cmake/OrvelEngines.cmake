# Engine launchers made by scripts/engines.sh go into libexec/orvel-raza, beside the program's own
# auxiliaries, and are installed with them.
set(ORVEL_ENGINE_DIR "" CACHE PATH "Private engine folder whose launch/ scripts start the engines")
set(ORVEL_ENGINES_STATE "none" CACHE STRING "How set-up provided the engines: found, private or none")
set(ORVEL_ENGINE_PROGRAMS whisper-cli parakeet-cli llama-server)

foreach(program IN LISTS ORVEL_ENGINE_PROGRAMS)
  set(launcher "${ORVEL_ENGINE_DIR}/launch/${program}")
  set(placed "${ORVEL_LIBEXEC_OUTPUT_DIR}/${program}")
  if(ORVEL_ENGINE_DIR AND EXISTS "${launcher}")
    configure_file("${launcher}" "${placed}" COPYONLY)
    install(PROGRAMS "${launcher}" DESTINATION "${ORVEL_LIBEXEC_SUBDIR}")
  elseif(EXISTS "${placed}")
    # A launcher left from an earlier set-up would hide the engine found now.
    file(STRINGS "${placed}" ours REGEX "^# orvel-raza engine launcher")
    if(ours)
      file(REMOVE "${placed}")
    endif()
  endif()
endforeach()
