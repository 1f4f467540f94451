// Message queues of the layer: one per thread that uses messages, with its posted
// messages, the messages other threads send it, its quit request and a wake-up
// descriptor (ThreadQueue, layer_state.h), and the calls of window procedures.
// Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_MESSAGE_QUEUE_H
#define TOBRISK_PLATFORM_MESSAGE_QUEUE_H

#include "layer_state.h"
#include "win32.h"

namespace win32_layer {

// Milliseconds on the monotonic clock, for MSG.time.
DWORD MessageTime();

// The calling thread's queue, created on first use (and again after a reset).
QueueRef CurrentThreadQueue();
// The calling thread's live queue, or null when it has none; never creates one.
const ThreadQueue* CurrentThreadQueueIfAny();

// Appends a posted message and wakes the thread. Called with the layer lock held.
void PostLocked(ThreadQueue& queue, const MSG& message);
// Wakes a thread that waits on its queue. Called with the layer lock held.
void WakeLocked(ThreadQueue& queue);
// The same without the layer lock (none when queue is null): a thread woken while
// the waker still holds the lock would at once wait for it again.
void Wake(const QueueRef& queue);
// Ends every send to the window that is still queued: the senders get 0.
// Called with the layer lock held.
void CancelSendsToWindowLocked(HWND window);
// Marks the queue of the calling thread dead and releases its senders; called
// when a thread started by _beginthread returns, and at thread exit.
void RetireCurrentThreadQueue();
// Marks every queue dead and releases every sender. Called with the layer lock held.
void ResetQueuesLocked();
// Handles every message that waits for the calling thread, as a message loop
// would, without waiting for more or taking the quit request; returns how many.
int DispatchPendingMessages();
// How many messages sent from one thread to another wait to be handled.
int PendingSendCount();
// Calls the procedure of a window of the calling thread; 0 for a stale window or
// a window of another thread. Called without the layer lock.
LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace win32_layer

#endif
