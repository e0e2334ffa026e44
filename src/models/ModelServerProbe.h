#pragma once

#include "platform/Result.h"

#include <QString>
#include <QStringList>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// "Test connection": asks an OpenAI-compatible server for its models (GET <base>/models) and
// says in plain words what went wrong.
namespace ModelServerProbe {

// The model ids the server lists, in its order; the error text is for the user.
QCoro::Task<Result<QStringList, QString>> listModels(QNetworkAccessManager &network, QString baseURL, QString apiKey,
                                                     int timeoutMilliseconds = 10000);

} // namespace ModelServerProbe
