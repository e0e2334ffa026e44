#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Files and programs shipped with the application. The install prefix is the "bundle": the build
// tree has the same shape (bin/, libexec/orvel-raza/, share/orvel-raza/).
namespace ResourceLocator {

// share/orvel-raza/NAME next to the program, then orvel-raza/NAME in each XDG data directory.
std::optional<QString> file(const QString &name);

// ORVEL_<NAME>_PATH (returned unchecked when set), libexec/orvel-raza/NAME, the resources, PATH,
// then this user's engine folder (current/launch/NAME).
std::optional<QString> bundledExecutable(const QString &name);

// Where "Get the speech engines" puts them for this user: ORVEL_ENGINE_CACHE, else
// orvel-raza/engines in the user's cache folder (the same place engines.sh uses).
QString userEngineFolder();

// A regular file this user may run.
bool isExecutableFile(const QString &path);

// "whisper-cli" → "ORVEL_WHISPER_CLI_PATH".
QString overrideVariable(const QString &name);

// The prefix the program runs from (the parent of bin/). Tests set it to a scratch folder.
QString installRoot();
void setInstallRoot(const QString &root);

} // namespace ResourceLocator
