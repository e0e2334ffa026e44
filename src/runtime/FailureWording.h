#pragma once

#include "ChatCompletionStream.h"
#include "RunFailure.h"

// Turns a failed chat completion into the sentence the user reads.
namespace FailureWording {
// `apiKey` is scrubbed from anything the service echoes back.
RunFailure openAI(const StreamFailure &failure, const QString &modelName, const QString &apiKey);
// A server of the user's, named as they named it.
RunFailure userServer(const StreamFailure &failure, const QString &serverName, const QString &modelName,
                      const QString &apiKey);
RunFailure localServer(const StreamFailure &failure, const QString &diagnostic);
bool isContextOverflow(const StreamFailure &failure);
} // namespace FailureWording
