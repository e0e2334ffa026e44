#pragma once

#include "platform/Result.h"

#include <QString>

// Every location the program keeps on disk, below the per-user data folder "Orvel Raza".
// Each is computed once on first use; reset() forgets them (tests point XDG_DATA_HOME elsewhere).
namespace AppPaths {

QString root();
QString models();
// A speech-model file in models(); the one place that path is made.
QString modelFile(const QString &fileName);
QString agentModels();
QString agentData();
QString agentAttachments();
QString agentConversations();
QString agentSessions();
QString customAgentModels();
QString recordings();
QString temporaryRecordings();
QString history();

// Creates models, agentModels, agentData, agentAttachments, recordings, temporaryRecordings in
// that order, stopping at the first that fails with a message naming the folder.
Result<void, QString> prepare();

void reset();

} // namespace AppPaths
