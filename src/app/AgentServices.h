#pragma once

// What the Command flow needs of the runtime and the result windows, so the
// flow runs against fakes in tests and the real parts in the program.

#include "command/AgentRuntimeError.h"
#include "command/AgentRuntimeProtocol.h"
#include "command/AgentRuntimeService.h"
#include "platform/Result.h"

#include <QString>
#include <QUuid>

#include <qcoro/qcorotask.h>

#include <functional>
#include <optional>

// The long-lived Command runtime.
class AgentRuntimeClient {
public:
    using EventHandler = std::function<void(const AgentRuntimeEvent &)>;
    virtual ~AgentRuntimeClient() = default;
    virtual Result<void, AgentRuntimeError> ensureProcess() = 0;
    // Events reach onEvent on the main thread before the final text returns.
    virtual QCoro::Task<AgentRunResult> run(AgentRuntimeRequest request, EventHandler onEvent) = 0;
    virtual void cancel(const QUuid &requestID) = 0;
    // A program shipped with the application ("llama-server", "OrvelAppleBridge"), or none.
    virtual std::optional<QString> bundledExecutable(const QString &name) const = 0;
};

// The runtime service behind the port.
class AgentRuntimeServiceClient final : public AgentRuntimeClient {
public:
    explicit AgentRuntimeServiceClient(AgentRuntimeService &service) : m_service(service) {}
    Result<void, AgentRuntimeError> ensureProcess() override { return m_service.ensureProcess(); }
    QCoro::Task<AgentRunResult> run(AgentRuntimeRequest request, EventHandler onEvent) override
    {
        return m_service.run(std::move(request), std::move(onEvent));
    }
    void cancel(const QUuid &requestID) override { m_service.cancel(requestID); }
    std::optional<QString> bundledExecutable(const QString &name) const override
    {
        return AgentRuntimeService::bundledExecutable(name);
    }

private:
    AgentRuntimeService &m_service;
};

// The result card and the conversation window.
class AgentResultPresenter {
public:
    virtual ~AgentResultPresenter() = default;
    // The card with the latest result, hidden again after a few seconds.
    virtual void showResult() = 0;
    virtual void hideResult() = 0;
    // Shows the conversation window (centred the first time), activated and in front.
    virtual void showConversationPanel() = 0;
};
