// orvel-agent: the Command runtime. Requests arrive as JSON lines on standard input, events
// leave as JSON lines on standard output; standard error is free-form diagnostics.
#include "AgentRuntime.h"
#include "LineChannel.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char **argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvel-agent"));

    LineChannel channel(AgentProtocol::maxLineBytes);
    AgentRuntime runtime([&channel](const QByteArray &line) { channel.writeLine(line); });
    // Shutting down is immediate: nothing is pending that a later start could not redo.
    const auto exitNow = [&runtime] {
        runtime.stopChildren();
        std::fflush(stderr);
        ::_exit(0);
    };
    QObject::connect(&channel, &LineChannel::lineReceived, &runtime, &AgentRuntime::handleLine);
    QObject::connect(&channel, &LineChannel::lineTooLong, &runtime, &AgentRuntime::rejectLongLine);
    QObject::connect(&channel, &LineChannel::endOfInput, &runtime, exitNow);
    QObject::connect(&runtime, &AgentRuntime::shutdownRequested, &runtime, exitNow);
    return app.exec();
}
