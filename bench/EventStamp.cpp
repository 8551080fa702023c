#include "EventStamp.h"

EventStamp::EventStamp(HANDLE event)
    : event_(event), stamp_(signalled_.get_future()), waiter_([this] {
          WaitForSingleObject(event_, INFINITE);
          signalled_.set_value(Clock::now());
      }) {}

EventStamp::~EventStamp() {
    if (stamp_.valid() && stamp_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
        SetEvent(event_);
    }
    waiter_.join();
}

std::optional<Clock::time_point> EventStamp::Await(std::chrono::milliseconds limit) {
    if (stamp_.wait_for(limit) != std::future_status::ready) {
        return std::nullopt;
    }
    return stamp_.get();
}
