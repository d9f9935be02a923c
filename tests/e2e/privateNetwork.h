// A network namespace of the caller's own, so that tests, fuzzers and load benchmarks can use
// the server's fixed ports and loopback without meeting anything on the host.
#pragma once

// Moves this process into a private network namespace with loopback up: unshare(CLONE_NEWNET)
// as root, else inside a new user namespace as well. Returns false (and says why on stderr)
// when neither is allowed.
bool enterPrivateNetwork();
