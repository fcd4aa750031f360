#pragma once

// An alternate signal stack for every thread of the process, so that a
// handler that asks for one still runs after a thread has overflowed its
// own stack. Every thread started through pthread_create (std::thread, Qt's
// threads, our own) gets one as it starts and gives it back as it ends: the
// program's own pthread_create comes first in symbol lookup and wraps the
// start routine. Only the process's first thread, which nobody creates,
// must ask for one itself.

// Gives the calling thread an alternate signal stack unless it has one.
void EnsureSignalStack();
