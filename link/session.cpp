#include "link/session.hpp"

#include <ableton/Link.hpp>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <string>

namespace kinetra_link {

namespace {

using std::chrono::microseconds;

std::string shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

double checked_tempo(double bpm) {
    if (!(bpm >= MIN_TEMPO && bpm <= MAX_TEMPO)) {  // NaN fails too
        throw std::invalid_argument("Link tempo must be 20 to 999 BPM: " + shown(bpm));
    }
    return bpm;
}

double checked_quantum(double quantum) {
    if (!(quantum >= MIN_QUANTUM && quantum <= MAX_QUANTUM)) {
        throw std::invalid_argument("Link quantum must be 1/64 to 4096 beats: " + shown(quantum));
    }
    return quantum;
}

microseconds checked_time(std::int64_t host_time) {
    if (host_time < -MAX_HOST_TIME || host_time > MAX_HOST_TIME) {
        throw std::invalid_argument("Link host time is out of range: " + std::to_string(host_time));
    }
    return microseconds(host_time);
}

std::int64_t monotonic_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

Session::Session(double bpm) : link_(std::make_unique<ableton::Link>(checked_tempo(bpm))) {}

Session::~Session() = default;

// Each operation holds the lock shared for its duration, so close() (which
// holds it exclusively) waits for calls in flight and later calls find no Link.
template <typename Operation>
auto Session::with_link(Operation&& operation) const {
    std::shared_lock lock(mutex_);
    if (!link_) {
        throw std::invalid_argument("Link session is closed");
    }
    return operation(*link_);
}

void Session::enable(bool on) {
    with_link([&](ableton::Link& link) {
        link.enable(on);
    });
}

bool Session::enabled() const {
    return with_link([&](ableton::Link& link) {
        return link.isEnabled();
    });
}

void Session::enable_start_stop_sync(bool on) {
    with_link([&](ableton::Link& link) {
        link.enableStartStopSync(on);
    });
}

bool Session::start_stop_sync() const {
    return with_link([&](ableton::Link& link) {
        return link.isStartStopSyncEnabled();
    });
}

std::size_t Session::peers() const {
    return with_link([&](ableton::Link& link) {
        return link.numPeers();
    });
}

std::int64_t Session::clock_micros() const {
    return with_link([&](ableton::Link& link) {
        return link.clock().micros().count();
    });
}

std::int64_t Session::host_time_at(double monotonic_seconds) const {
    return with_link([&](ableton::Link& link) {
        if (!std::isfinite(monotonic_seconds)) {
            throw std::invalid_argument("monotonic time must be finite: " + shown(monotonic_seconds));
        }
        // Read Link's clock between two readings of the monotonic clock and
        // take the middle of those as the same instant; the two clocks run at
        // rates within a fraction of a permille of each other, so the offset
        // found now holds for moments near now.
        const auto clock = link.clock();
        const std::int64_t before = monotonic_ns();
        const std::int64_t host = clock.micros().count();
        const std::int64_t after = monotonic_ns();
        const double now = static_cast<double>(before + (after - before) / 2) / 1e9;
        const double offset = std::round((monotonic_seconds - now) * 1e6);
        if (!(std::fabs(offset) <= static_cast<double>(MAX_HOST_TIME))) {
            throw std::invalid_argument("monotonic time is out of range: " + shown(monotonic_seconds));
        }
        return host + static_cast<std::int64_t>(offset);
    });
}

Capture Session::capture(std::int64_t host_time, double quantum) const {
    const auto time = checked_time(host_time);
    checked_quantum(quantum);
    return with_link([&](ableton::Link& link) {
        const auto state = link.captureAppSessionState();
        const auto play_time = state.timeForIsPlaying();
        return Capture{
            state.beatAtTime(time, quantum),
            state.phaseAtTime(time, quantum),
            state.tempo(),
            state.isPlaying(),
            play_time.count(),
            state.beatAtTime(play_time, quantum),
        };
    });
}

void Session::propose_tempo(double bpm, std::int64_t host_time) {
    checked_tempo(bpm);
    const auto time = checked_time(host_time);
    with_link([&](ableton::Link& link) {
        auto state = link.captureAppSessionState();
        state.setTempo(bpm, time);
        link.commitAppSessionState(state);
    });
}

void Session::request_beat(double beat, std::int64_t host_time, double quantum) {
    if (!(std::fabs(beat) <= MAX_BEAT)) {
        throw std::invalid_argument("Link beat is out of range: " + shown(beat));
    }
    const auto time = checked_time(host_time);
    checked_quantum(quantum);
    with_link([&](ableton::Link& link) {
        auto state = link.captureAppSessionState();
        state.requestBeatAtTime(beat, time, quantum);
        link.commitAppSessionState(state);
    });
}

void Session::set_playing(bool playing, std::int64_t host_time) {
    const auto time = checked_time(host_time);
    with_link([&](ableton::Link& link) {
        auto state = link.captureAppSessionState();
        state.setIsPlaying(playing, time);
        link.commitAppSessionState(state);
    });
}

void Session::close() {
    std::unique_ptr<ableton::Link> link;
    {
        std::unique_lock lock(mutex_);
        link.swap(link_);
    }
    if (link) {
        link->enable(false);
    }
    // link's destructor joins Link's threads here, outside the lock.
}

bool Session::closed() const {
    std::shared_lock lock(mutex_);
    return !link_;
}

}  // namespace kinetra_link
