#include "app/event_sink.h"

#include <atomic>

namespace vidora {

namespace {

NullEventSink gNullSink;
std::atomic<EventSink*> gInstalledSink{nullptr};

}  // namespace

EventSink& eventSink() {
    EventSink* sink = gInstalledSink.load(std::memory_order_acquire);
    return sink ? *sink : gNullSink;
}

void installEventSink(EventSink* sink) {
    gInstalledSink.store(sink, std::memory_order_release);
}

EventTime eventTimeNow(Clock& clock) {
    // Whole seconds from the calendar, the milliseconds of local time (the same second).
    return clock.calendarSeconds() * 1000 + clock.localTime().milliseconds % 1000;
}

}  // namespace vidora
