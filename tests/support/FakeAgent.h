#pragma once

// Fakes of the Command collaborators: the runtime and the result windows.

#include "app/AgentServices.h"

#include <QList>
#include <QMap>
#include <QObject>

#include <qcoro/qcorosignal.h>

// Holds every run until the test calls finish(); events go out through emitEvent().
class FakeAgentRuntime final : public QObject, public AgentRuntimeClient {
    Q_OBJECT
public:
    Result<void, AgentRuntimeError> ensureProcess() override
    {
        ++ensures;
        return {};
    }
    QCoro::Task<AgentRunResult> run(AgentRuntimeRequest request, EventHandler onEvent) override
    {
        requests << request;
        handler = std::move(onEvent);
        auto released = qCoro(this, &FakeAgentRuntime::finished);
        co_await released;
        co_return *pending;
    }
    void cancel(const QUuid &requestID) override { cancelled << requestID; }
    std::optional<QString> bundledExecutable(const QString &name) const override
    {
        if (!executables.contains(name))
            return std::nullopt;
        return executables.value(name);
    }

    void emitEvent(AgentProtocolEventKind kind, std::optional<AgentPhase> phase, std::optional<QString> text = {})
    {
        AgentRuntimeEvent event;
        event.requestID = requests.last().requestID;
        event.kind = kind;
        event.phase = phase;
        event.text = std::move(text);
        handler(event);
    }
    void finish(AgentRunResult result)
    {
        pending.emplace(std::move(result));
        emit finished();
    }

    QList<AgentRuntimeRequest> requests;
    QList<QUuid> cancelled;
    QMap<QString, QString> executables;
    EventHandler handler;
    int ensures = 0;

signals:
    void finished();

private:
    std::optional<AgentRunResult> pending;
};

class FakeResultPresenter final : public AgentResultPresenter {
public:
    void showResult() override { ++results; }
    void hideResult() override {}
    void showConversationPanel() override { ++panels; }
    int results = 0, panels = 0;
};
