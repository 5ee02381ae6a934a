#pragma once
// A loopback port nobody listens on, for tests of connections that fail.

namespace kelvo::test {

// Binds a loopback socket to learn a free port, then releases it: a
// connection to it is refused (unless another process takes the port in
// between, which tests accept as unlikely).
int UnusedLoopbackPort();

}  // namespace kelvo::test
