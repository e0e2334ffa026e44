#pragma once

#include <optional>

// `OrvelPlus --download-speech-model ID [FOLDER]`: fetches a catalog model with the program's own
// download code into FOLDER (default: the program's share/orvel-raza, where the shipped Pocket
// model belongs) and exits. Runs without a desktop session, so set-up can call it.
// Returns the exit code, or nothing when the arguments ask for something else.
std::optional<int> runSpeechModelCommand(int argc, char **argv);

// `OrvelPlus --get-speech-engines`: "Get the speech engines" without a window: the same child
// script and progress as the Models screen, printed on stderr; the folder on stdout.
std::optional<int> runSpeechEnginesCommand(int argc, char **argv);
