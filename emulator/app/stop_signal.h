// How the qvzsim program learns that it should stop: SIGINT and SIGTERM on
// POSIX; on Windows the console's control events (Ctrl-C, Ctrl-Break, the
// window closing, log-off, shutdown).
#ifndef QVZSIM_APP_STOP_SIGNAL_H
#define QVZSIM_APP_STOP_SIGNAL_H

namespace qvzsim {
namespace app {

void InstallStopHandlers();
bool StopRequested();
// The program has said all it had to say; a Windows close event, which ends
// the process as soon as its handler returns, waits for this.
void StopCompleted();

}  // namespace app
}  // namespace qvzsim

#endif
