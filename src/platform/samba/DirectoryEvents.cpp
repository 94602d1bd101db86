#include "platform/samba/DirectoryEvents.h"

#include <cerrno>
#include <mutex>

extern "C" {
#include <talloc.h>
#include <tevent.h>
}

namespace orvane::samba {

namespace {

// The deadline in force on this thread, and the context it is for.
thread_local EventDeadline* t_deadline = nullptr;
thread_local tevent_context* t_events = nullptr;

constexpr char kBackend[] = "orvane-deadline";

// tevent's poll engine with its loop made to fail past the deadline. Every
// sync call of the directory client (connecting, signing on, each search)
// waits in these loops, and gives up when one fails.
tevent_ops g_ops;
const tevent_ops* g_poll = nullptr;

bool expired(tevent_context* events) {
    if (t_deadline && t_events == events && t_deadline->passed()) {
        t_deadline->end();
        errno = ETIMEDOUT;
        return true;
    }
    return false;
}

int loopOnce(tevent_context* events, const char* location) {
    return expired(events) ? -1 : g_poll->loop_once(events, location);
}

bool registered() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        g_poll = tevent_find_ops_byname("poll");
        if (!g_poll)
            return;
        g_ops = *g_poll;
        // The engine's loop_wait goes round the context's loop_once: this one.
        g_ops.loop_once = loopOnce;
        ok = tevent_register_backend(kBackend, &g_ops);
    });
    return ok;
}

// Only there to wake the poll when the deadline comes.
void wakeUp(tevent_context*, tevent_timer*, timeval, void*) {}

} // namespace

tevent_context* boundedEvents(void* memory) {
    if (!registered())
        return nullptr;
    return tevent_context_init_byname(memory, kBackend);
}

EventDeadline::EventDeadline(tevent_context* events, Clock::time_point at)
    : m_events(events), m_at(at), m_wakeUp(talloc_new(nullptr)), m_outer(t_deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(at - Clock::now());
    const long long micros = left.count() > 0 ? left.count() : 0;
    // The timer hangs from memory of ours: tevent frees it once it has run.
    tevent_add_timer(events, m_wakeUp,
                     tevent_timeval_current_ofs(std::uint32_t(micros / 1000000),
                                                std::uint32_t(micros % 1000000)),
                     wakeUp, nullptr);
    t_deadline = this;
    t_events = events;
}

EventDeadline::~EventDeadline() {
    talloc_free(m_wakeUp);
    t_deadline = m_outer;
    t_events = m_outer ? m_outer->m_events : nullptr;
}

int EventDeadline::secondsLeft() const {
    const auto left = std::chrono::ceil<std::chrono::seconds>(m_at - Clock::now());
    return left.count() < 1 ? 1 : int(left.count());
}

} // namespace orvane::samba
