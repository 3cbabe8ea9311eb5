#pragma once
// Every call into the client library that can wait on the server (attach,
// start, query, detach) goes through here with its status check. The
// library puts a termination-signal handler of its own in place when it is
// first used, which would shut its connections down at once and cut a
// running job short: the program's own handler is put back after each call.

#include <functional>

void CallClientLibrary(const std::function<void()>& call);
