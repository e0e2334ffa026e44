#include "ChildProcess.h"

#include "command/AgentRuntimeProtocol.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <csignal>
#include <sys/prctl.h>
#include <unistd.h>

namespace ChildProcess {

void prepare(QProcess &process)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    AgentProtocol::removeCloudCredentials(env);
    process.setProcessEnvironment(env);
    const pid_t parent = ::getpid();
    // Runs in the child between fork and exec: only async-signal-safe calls.
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) // the runtime died before the line above took effect
            ::_exit(127);
    });
}

} // namespace ChildProcess
