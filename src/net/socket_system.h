#pragma once

#include <vector>

namespace quorvex::socket_system {

// The calls whose form differs between Windows Sockets 2 and BSD sockets.
// Sockets are ints on both (a Windows socket handle fits: OpenSSL takes it as
// one too). Failures return -1 and leave the error for WSGetLastError().

// Starts the system's socket library for the process's socket stack; raises
// EQxStackInitializationFailed when it cannot. Paired with CleanUp.
void StartUp();
void CleanUp();

// A new socket that child processes do not inherit.
int NewSocket(int AFamily, int AType, int AProtocol);
void Close(int ASocket);
void ShutdownSend(int ASocket);

// Waits at most AMSec (-1: no limit) for any of the sockets to turn readable,
// or ASocket to turn writable: above 0 when one did, 0 at the time-out.
int WaitReadable(const std::vector<int>& ASockets, int AMSec);
int WaitWritable(int ASocket, int AMSec);

// A peer that has gone gives an error, never a signal. With ADontWait the
// call returns at once with "Operation would block." when it would wait.
int Send(int ASocket, const char* AData, int ALength, bool ADontWait);
int Recv(int ASocket, char* AData, int ALength, bool ADontWait);

// Time-outs of AMSec on both directions of a blocking socket; 0 or less: none.
void SetTimeouts(int ASocket, int AMSec);

}  // namespace quorvex::socket_system
