#pragma once

#include <chrono>
#include <functional>

// The hand-over from worker threads to the UI thread.
//
// A worker thread that calls Synchronize queues the call in the process-wide
// queue of pending calls, wakes the UI thread through the installed wake-up
// hook and blocks until the UI thread has run the call; an exception the call
// raised is raised again in the worker. The UI thread runs the queue with
// CheckSynchronize: when woken, and while it waits for a thread to end. One
// process-wide lock guards the queue.
//
// The UI thread is the thread that started the process (or the one named by
// SetMainThread).

// Runs `method` in the UI thread and returns after it has run. Called from
// the UI thread itself, runs it at once.
void Synchronize(const std::function<void()>& method);

// As Synchronize, but instead of only blocking, the caller runs `meanwhile`
// while its call waits and runs. `meanwhile` is given a descriptor that
// becomes readable once the call has run, so it can wait on it beside its
// own; when it returns earlier, the caller blocks for the rest, and when it
// throws, the caller still waits for its call before raising the failure (the
// call's own failure first). Called from the UI thread, runs `method` at once
// and skips `meanwhile`.
void SynchronizeWhile(const std::function<void()>& method,
                      const std::function<void(int doneFd)>& meanwhile);

// Queues `method` to run in the UI thread the next time it runs pending
// calls, and returns at once, from any thread. A failure it raises leaves
// CheckSynchronize after the other calls of that pass have run.
void Queue(std::function<void()> method);

// Runs the calls pending when it is called, oldest first, taking each from
// the shared queue as its turn comes, so that a call that waits for a worker
// lets a nested pass run that worker's call queued behind it. Only the UI thread runs calls;
// elsewhere this does nothing. Returns whether any call ran.
bool CheckSynchronize();

// The hook that wakes the UI thread when a call is queued (a front end's
// event loop installs it). It may be called from any thread.
void SetWakeMainThread(std::function<void()> wake);

bool IsMainThread();
void SetMainThread();

// Waits in the UI thread until `done` returns true or `timeout` passes,
// running pending calls as they arrive. `done` is evaluated under the
// hand-over lock, so a worker that changes what it reads must signal with
// NotifySyncWaiters after the change.
bool WaitRunningSyncCalls(const std::function<bool()>& done, std::chrono::milliseconds timeout);
void NotifySyncWaiters();
