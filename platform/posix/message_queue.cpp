// Per-thread message queues: posted messages, messages sent across threads, the
// quit request and WM_PAINT generation, and the calls that retrieve and send.
#include "message_queue.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "display.h"
#include "layer_state.h"

namespace win32_layer {

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    LRESULT result;  // the procedure's result; 0 when cancelled
    bool done;       // handled or cancelled; guarded by the layer lock
    QueueRef sender; // woken when done
};

namespace {

// Longest single wait: a waiting thread looks at its queue and the display again
// after it even without a wake-up.
constexpr int kWaitSliceMs = 100;

// Holds the calling thread's queue and retires it when the thread exits.
struct QueueHolder {
    QueueRef queue;
    ~QueueHolder() { RetireCurrentThreadQueue(); }
};
thread_local QueueHolder currentQueue;

// What a retrieval found.
enum class Retrieval { Message, Quit, Nothing };

// Records a sent message's result and wakes its sender. Layer lock held.
void CompleteLocked(SentMessage& sent, LRESULT result) {
    sent.result = result;
    sent.done = true;
    WakeLocked(*sent.sender);
}

// Marks a queue dead, drops what it holds and releases its senders. Layer lock held.
void RetireLocked(ThreadQueue& queue) {
    queue.dead = true;
    for (auto& sent : queue.sent) {
        CompleteLocked(*sent, 0);
    }
    queue.sent.clear();
    queue.posted.clear();
    queue.quitPending = false;
}

// Handles every message that other threads have sent to this thread's windows.
void HandleIncomingSends(ThreadQueue& queue) {
    for (;;) {
        std::shared_ptr<SentMessage> sent;
        {
            std::lock_guard hold(LayerLock());
            if (queue.sent.empty()) {
                return;
            }
            sent = queue.sent.front();
            queue.sent.pop_front();
        }
        LRESULT result =
            CallWindowProcedure(sent->window, sent->message, sent->wParam, sent->lParam);
        std::lock_guard hold(LayerLock());
        CompleteLocked(*sent, result);
    }
}

// Waits until the queue is woken, the display has events, or a slice has passed.
// Returns whether the display's connection has data to read.
bool WaitForNews(const ThreadQueue& queue, int displayFd) {
    pollfd fds[2] = {{queue.wakeFd, POLLIN, 0}, {displayFd, POLLIN, 0}};
    int ready = poll(fds, displayFd >= 0 ? 2 : 1, kWaitSliceMs);
    if (ready > 0 && (fds[0].revents & POLLIN) != 0) {
        uint64_t count;
        ssize_t got = read(queue.wakeFd, &count, sizeof count);
        (void)got;
    }
    return ready > 0 && displayFd >= 0 && fds[1].revents != 0;
}

// Takes the next message of the calling thread: sent messages are handled on the
// way; then posted, quit (only when takeQuit), paint. Waits for one when wait is set.
Retrieval RetrieveMessage(MSG* message, bool wait, bool takeQuit) {
    // A caller that waits reads the display's connection once poll() finds data.
    bool displayReadable = !wait;
    for (;;) {
        QueueRef queue = CurrentThreadQueue();
        HandleIncomingSends(*queue);
        const Display* display = OpenedDisplay();
        if (display != nullptr) {
            display->pumpEvents(displayReadable);
        }
        {
            std::lock_guard hold(LayerLock());
            if (queue->dead || !queue->sent.empty()) {
                continue;
            }
            *message = MSG{};
            message->time = MessageTime();
            HWND window;
            if (!queue->posted.empty()) {
                *message = queue->posted.front();
                queue->posted.pop_front();
                return Retrieval::Message;
            }
            if (queue->quitPending) {
                if (!takeQuit) {
                    return Retrieval::Nothing;
                }
                queue->quitPending = false;
                message->message = WM_QUIT;
                message->wParam = static_cast<WPARAM>(queue->quitCode);
                return Retrieval::Quit;
            }
            if (FindWindowToPaintLocked(*queue, &window)) {
                message->hwnd = window;
                message->message = WM_PAINT;
                return Retrieval::Message;
            }
            if (!wait) {
                return Retrieval::Nothing;
            }
        }
        displayReadable = WaitForNews(*queue, display != nullptr ? display->eventFd() : -1);
    }
}

// Queues a message for a window of another thread and waits until it is handled
// or cancelled, handling messages sent to this thread meanwhile.
LRESULT SendToOtherThread(const QueueRef& owner, HWND window, UINT message, WPARAM wParam,
                          LPARAM lParam) {
    QueueRef self = CurrentThreadQueue();
    auto sent =
        std::make_shared<SentMessage>(SentMessage{window, message, wParam, lParam, 0, false, self});
    {
        std::lock_guard hold(LayerLock());
        if (owner->dead || WindowOwnerLocked(window) != owner) {
            return 0;
        }
        owner->sent.push_back(sent);
        WakeLocked(*owner);
    }
    for (;;) {
        HandleIncomingSends(*self);
        {
            std::lock_guard hold(LayerLock());
            if (sent->done) {
                return sent->result;
            }
        }
        WaitForNews(*self, -1);
    }
}

// The character that a key types, or 0 for a key that types none.
char CharacterOfKey(WPARAM key) {
    if (key >= 'A' && key <= 'Z') {
        return static_cast<char>(key - 'A' + 'a');
    }
    if ((key >= '0' && key <= '9') || key == VK_SPACE || key == VK_RETURN || key == VK_ESCAPE ||
        key == VK_BACK || key == VK_TAB) {
        return static_cast<char>(key);
    }
    return 0;
}

} // namespace

DWORD MessageTime() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(now.tv_sec * 1000 + now.tv_nsec / 1000000);
}

QueueRef CurrentThreadQueue() {
    std::lock_guard hold(LayerLock());
    if (!currentQueue.queue || currentQueue.queue->dead) {
        currentQueue.queue = std::make_shared<ThreadQueue>();
        Layer().queues.push_back(currentQueue.queue);
    }
    return currentQueue.queue;
}

const ThreadQueue* CurrentThreadQueueIfAny() {
    std::lock_guard hold(LayerLock());
    if (!currentQueue.queue || currentQueue.queue->dead) {
        return nullptr;
    }
    return currentQueue.queue.get();
}

void PostLocked(ThreadQueue& queue, const MSG& message) {
    queue.posted.push_back(message);
    WakeLocked(queue);
}

void WakeLocked(ThreadQueue& queue) {
    uint64_t one = 1;
    ssize_t put = write(queue.wakeFd, &one, sizeof one);
    (void)put;
}

void Wake(const QueueRef& queue) {
    if (queue) {
        WakeLocked(*queue);
    }
}

void CancelSendsToWindowLocked(HWND window) {
    for (auto& queue : Layer().queues) {
        auto& sent = queue->sent;
        for (auto& message : sent) {
            if (message->window == window) {
                CompleteLocked(*message, 0);
            }
        }
        sent.erase(std::remove_if(sent.begin(), sent.end(),
                                  [](const auto& message) { return message->done; }),
                   sent.end());
    }
}

void RetireCurrentThreadQueue() {
    std::lock_guard hold(LayerLock());
    QueueRef queue = std::move(currentQueue.queue);
    if (!queue) {
        return;
    }
    RetireLocked(*queue);
    auto& live = Layer().queues;
    live.erase(std::remove(live.begin(), live.end(), queue), live.end());
}

int DispatchPendingMessages() {
    constexpr int kMostMessages = 100000; // a procedure that never validates ends here
    int count = 0;
    MSG message;
    while (count < kMostMessages && RetrieveMessage(&message, false, false) == Retrieval::Message) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        ++count;
    }
    return count;
}

int PendingSendCount() {
    std::lock_guard hold(LayerLock());
    size_t count = 0;
    for (const auto& queue : Layer().queues) {
        count += queue->sent.size();
    }
    return static_cast<int>(count);
}

LRESULT CallWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const ThreadQueue* caller = CurrentThreadQueueIfAny();
    WNDPROC procedure;
    {
        std::lock_guard hold(LayerLock());
        RecordRef record = FindWindowLocked(window);
        if (!record || !OwnedByCallerLocked(*record, caller)) {
            return 0;
        }
        procedure = record->procedure;
    }
    return procedure(window, message, wParam, lParam);
}

void ResetQueuesLocked() {
    for (auto& queue : Layer().queues) {
        RetireLocked(*queue);
        WakeLocked(*queue);
    }
    Layer().queues.clear();
}

} // namespace win32_layer

using namespace win32_layer;

BOOL WINAPI GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
    if (message == nullptr || window != nullptr || filterMin != 0 || filterMax != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    return RetrieveMessage(message, true, true) == Retrieval::Message ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* message) {
    if (message == nullptr || (message->message != WM_KEYDOWN && message->message != WM_KEYUP)) {
        return FALSE;
    }
    char character = CharacterOfKey(message->wParam);
    if (message->message == WM_KEYDOWN && character != 0) {
        QueueRef queue = CurrentThreadQueue();
        MSG typed{message->hwnd,   WM_CHAR,       static_cast<WPARAM>(character),
                  message->lParam, MessageTime(), message->pt};
        std::lock_guard hold(LayerLock());
        PostLocked(*queue, typed);
    }
    return TRUE;
}

LRESULT WINAPI DispatchMessageA(const MSG* message) {
    if (message == nullptr || message->hwnd == nullptr) {
        return 0;
    }
    return CallWindowProcedure(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    QueueRef owner;
    {
        LockedWindow locked = LockWindow(window);
        if (!locked.record) {
            return 0;
        }
        if (locked.record->owner->dead) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
        owner = locked.record->owner;
    }
    if (owner.get() == CurrentThreadQueueIfAny()) {
        return CallWindowProcedure(window, message, wParam, lParam);
    }
    return SendToOtherThread(owner, window, message, wParam, lParam);
}

void WINAPI PostQuitMessage(int exitCode) {
    QueueRef queue = CurrentThreadQueue();
    std::lock_guard hold(LayerLock());
    queue->quitPending = true;
    queue->quitCode = exitCode;
}
