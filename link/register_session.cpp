// class Link: one participant in a Link session (link/session.hpp). Calls
// that wait on Link's own threads or locks run without the GIL; none of them
// calls back into Python.
#include <pybind11/pybind11.h>

#include "link/register.hpp"
#include "link/session.hpp"

namespace py = pybind11;

namespace kinetra_link::python {

void register_session(py::module_& m) {
    using release = py::call_guard<py::gil_scoped_release>;
    py::class_<Session>(m, "Link",
                        "A participant in an Ableton Link session, disabled until enabled.\n\n"
                        "Host times are integer microseconds on Link's clock.")
        .def(py::init<double>(), py::arg("bpm"), release(),
             "A participant whose own timeline starts at beat 0 now at ``bpm`` (20 to 999).")
        .def("enable", &Session::enable, py::arg("on"), release(),
             "Join (True) or leave (False) the session on the network.")
        .def_property_readonly("enabled", &Session::enabled)
        .def("enable_start_stop_sync", &Session::enable_start_stop_sync, py::arg("on"), release(),
             "Share the transport's start and stop with peers that do the same.")
        .def_property_readonly("start_stop_sync", &Session::start_stop_sync)
        .def("peers", &Session::peers, "The number of other participants in the session now.")
        .def("clock_micros", &Session::clock_micros, "Link's host clock now, in microseconds.")
        .def("host_time_at", &Session::host_time_at, py::arg("monotonic_seconds"),
             "The host time of a moment given as time.monotonic() seconds.")
        .def(
            "capture",
            [](const Session& self, std::int64_t host_time, double quantum) {
                Capture c;
                {
                    py::gil_scoped_release unlocked;
                    c = self.capture(host_time, quantum);
                }
                return py::make_tuple(c.beat, c.phase, c.tempo, c.playing, c.play_time, c.play_beat);
            },
            py::arg("host_time"), py::arg("quantum"),
            "(beat, phase, tempo, playing, play_time, play_beat) of the session at ``host_time``:\n"
            "the beat with its phase aligned to ``quantum`` beats, the phase within the quantum,\n"
            "the tempo, the transport state, the host time that state began (or begins) and the\n"
            "beat then.")
        .def("propose_tempo", &Session::propose_tempo, py::arg("bpm"), py::arg("host_time"), release(),
             "Set the session's tempo from ``host_time`` on.")
        .def("request_beat", &Session::request_beat, py::arg("beat"), py::arg("host_time"),
             py::arg("quantum"), release(),
             "Map ``beat`` to ``host_time`` when alone; with peers, to the first time from then\n"
             "on at which the session's phase in ``quantum`` matches (quantized launch).")
        .def("set_playing", &Session::set_playing, py::arg("playing"), py::arg("host_time"),
             release(), "Start or stop the transport at ``host_time``.")
        .def("close", &Session::close, release(),
             "Leave the session and let go of Link's threads; later calls raise ValueError.")
        .def_property_readonly("closed", &Session::closed);
}

}  // namespace kinetra_link::python
