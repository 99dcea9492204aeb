#pragma once

namespace TestSupport {

// A TCP port on 127.0.0.1 that nothing listened on a moment ago.
int FreeLoopbackPort();
// True when a TCP connection to 127.0.0.1:port is accepted.
bool LoopbackAccepts(int port);

}  // namespace TestSupport
