#pragma once

class QProcess;

namespace ChildProcess {
// Every child of the runtime: no cloud credentials in its environment, and it is killed by the
// kernel when the runtime dies, however that happens.
void prepare(QProcess &process);
} // namespace ChildProcess
