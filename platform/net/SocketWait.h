// A bounded wait for a socket's readiness (poll, so any descriptor number works).
#pragma once

namespace telv {

// Waits until handle reports one of the poll events, at most timeoutMs milliseconds (a negative
// time-out counts as 0). An interrupted wait goes on for the time that is left.
// 1 when ready (also on an error or hang-up condition of the socket), 0 on time-out, −1 with
// the thread's last error set when the wait itself fails.
int WaitForSocket(int handle, short events, int timeoutMs);

}  // namespace telv
