// The controller login server.
#ifndef LIBVEXA_X86_TRANSPORT_LOGINSERVER_H
#define LIBVEXA_X86_TRANSPORT_LOGINSERVER_H

// Serves controllers that dial in to `port` on the calling thread: greets
// each new one with the host's clock, records it in the client list once it
// has answered (or had its time to answer), and drops it from the list when
// it hangs up or dials in again. Returns when the port cannot be bound or
// listened on, and when the process ends.
void RunLoginServer(int port);

// Runs the login server on a detached thread of its own. False when no
// thread could be started.
bool StartLoginServer(int port);

#endif  // LIBVEXA_X86_TRANSPORT_LOGINSERVER_H
