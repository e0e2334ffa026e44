# The fuzz targets and the program's sources their decoders need, shared by the libFuzzer build
# and the corpus replay of the ordinary build.
set(ORVEL_FUZZ_TARGETS gguf_header runtime_protocol history conversations custom_models wav)
set(ORVEL_FUZZ_DECODER_SOURCES
  platform/Json.cpp
  platform/StoreFile.cpp
  models/GGUFHeader.cpp
  models/AgentModelDescriptor.cpp
  models/AgentModelCatalog.cpp
  models/AgentHardwareProfile.cpp
  command/AgentConversation.cpp
  command/AgentPhase.cpp
  command/AgentRuntimeProtocol.cpp
  runtime/RequestDecoding.cpp
  speech/AppPaths.cpp
  speech/HistoryItem.cpp
  speech/HistoryStore.cpp
  speech/SpeechModel.cpp
  speechhost/WavReader.cpp
)
