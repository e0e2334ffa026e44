#pragma once

#include "command/AgentRuntimeProtocol.h"

#include <QByteArray>
#include <QString>
#include <QUuid>

#include <optional>
#include <variant>

// Why a line could not become a request. `requestID` is set when the line at least named one,
// so the answer can carry it; without it the answer is about the runtime as a whole.
struct RequestRejection {
    std::optional<QUuid> requestID;
    QString message;
    QString code;
};

std::variant<AgentRuntimeRequest, RequestRejection> decodeRequestLine(const QByteArray &line);
