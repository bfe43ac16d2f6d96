"""Listening to an audio input: the clock's time keeping and trouble with a stand-in
input, the choice of the source, the command's options; the real-time runs
against a JACK server are in listen_sessions.py, inside a private namespace."""

import os

from private_network import run_inside

HERE = os.path.dirname(os.path.abspath(__file__))


def test_real_time_sessions_on_a_jack_server():
    run_inside(os.path.join(HERE, "listen_sessions.py"), timeout=400)
