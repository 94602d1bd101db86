#pragma once

// The event loop Samba's directory client runs on, with a deadline: once it
// passes, every wait the client makes on it fails at once, so a server that
// accepts and then says nothing (or stops halfway through a reply) holds the
// caller no longer than the deadline, whatever the client's own timeouts.

#include <chrono>

struct tevent_context;

namespace orvane::samba {

// A new event context on `memory` (a talloc context) whose waits keep to the
// deadline in force on the calling thread; null when out of memory.
tevent_context* boundedEvents(void* memory);

class EventDeadline {
public:
    using Clock = std::chrono::steady_clock;
    // Waits on `events` made from this thread fail from `at` on, until this
    // goes. One at a time per thread.
    EventDeadline(tevent_context* events, Clock::time_point at);
    ~EventDeadline();
    EventDeadline(const EventDeadline&) = delete;
    EventDeadline& operator=(const EventDeadline&) = delete;

    Clock::time_point at() const { return m_at; }
    bool passed() const { return Clock::now() >= m_at; }
    // Whether a wait was cut short by it: the client gave up for want of an
    // answer, not for a reason of its own.
    bool ended() const { return m_ended; }
    void end() { m_ended = true; }
    // Whole seconds left, rounded up, at least one (the client's own
    // timeouts count so).
    int secondsLeft() const;

private:
    tevent_context* m_events;
    Clock::time_point m_at;
    void* m_wakeUp; // talloc memory the wake-up timer hangs from
    EventDeadline* m_outer;
    bool m_ended = false;
};

} // namespace orvane::samba
