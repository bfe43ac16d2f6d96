// One participant in an Ableton Link session: owns one ableton::Link object
// and answers questions about the shared timeline at a host time.
//
// Host times are microseconds on Link's own clock (on Linux that is
// CLOCK_MONOTONIC_RAW, which is not the clock time.monotonic() reads:
// host_time_at converts). Every public method is thread-safe; close() may
// race with any of them: a call that comes after close() throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>

namespace ableton {
class Link;
}

namespace kinetra_link {

// Link's own bounds: it clamps every tempo into 20..999 BPM.
inline constexpr double MIN_TEMPO = 20.0;
inline constexpr double MAX_TEMPO = 999.0;
// Link counts beats in whole micro-beats (64-bit): a quantum must be well
// above one micro-beat and far from the counter's range. A pip is the
// smallest quantum that means anything here.
inline constexpr double MIN_QUANTUM = 1.0 / 64.0;
inline constexpr double MAX_QUANTUM = 4096.0;
// Beats asked for are bounded alike.
inline constexpr double MAX_BEAT = 1e9;
// Host times beyond about 142 years either side of the clock's origin are
// refused before Link does integer arithmetic on them.
inline constexpr std::int64_t MAX_HOST_TIME = std::int64_t{1} << 52;

// The session as seen at one host time for one quantum.
struct Capture {
    double beat;       // the session's beat, its phase aligned to the quantum
    double phase;      // beat within the quantum, 0 <= phase < quantum
    double tempo;      // beats a minute
    bool playing;      // the transport state (shared only with start/stop sync)
    std::int64_t play_time;  // host time at which that state began or begins
    double play_beat;  // the beat at play_time on the timeline as it is now
};

class Session {
public:
    // A disabled participant whose own timeline starts at beat 0 now.
    // Throws std::invalid_argument unless MIN_TEMPO <= bpm <= MAX_TEMPO.
    explicit Session(double bpm);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void enable(bool on);  // joins or leaves the network; may block briefly
    bool enabled() const;
    void enable_start_stop_sync(bool on);
    bool start_stop_sync() const;
    std::size_t peers() const;

    std::int64_t clock_micros() const;  // Link's host clock now
    // The host time of a moment given in CLOCK_MONOTONIC seconds (what
    // time.monotonic() returns), by reading both clocks together.
    std::int64_t host_time_at(double monotonic_seconds) const;

    Capture capture(std::int64_t host_time, double quantum) const;
    // Sets the tempo from host_time on; peers adopt it.
    void propose_tempo(double bpm, std::int64_t host_time);
    // Maps beat to host_time if alone; with peers, to the first time from
    // host_time on whose phase in the quantum matches (Link's quantized launch).
    void request_beat(double beat, std::int64_t host_time, double quantum);
    // Starts or stops the transport at host_time.
    void set_playing(bool playing, std::int64_t host_time);

    // Leaves the session and releases the Link object (its threads are
    // joined). Idempotent; any later call except closed() throws.
    void close();
    bool closed() const;

private:
    template <typename Operation>
    auto with_link(Operation&& operation) const;

    mutable std::shared_mutex mutex_;
    std::unique_ptr<ableton::Link> link_;
};

}  // namespace kinetra_link
