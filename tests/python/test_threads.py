"""Eight threads using every entry point at once give the same results as one
thread doing the same work, the first use of the catalogue included."""

import ast
import os
import subprocess
import sys

import kinetra

# Runs in a fresh interpreter, so that the catalogue is first built while the
# threads race. Number objects with Python-level __float__/__index__ and
# generator rows make the interpreter switch threads in the middle of argument
# conversion; the switch interval is as short as it goes.
WORKER = r'''
import sys
import threading

import kinetra

ROUNDS = int(sys.argv[2])


class Num:
    def __init__(self, v):
        self.v = v

    def __float__(self):
        return self.v


class Pip:
    def __init__(self, v):
        self.v = v

    def __index__(self):
        return self.v


def attempt(call):
    try:
        result = call()
    except Exception as error:
        return (type(error).__name__, str(error))
    return result.as_tuple() if isinstance(result, kinetra.Offset3) else result


def work(seed):
    out = []
    entries = kinetra.catalogue() if seed % 2 == 0 else kinetra.PatternLibrary().catalogue()
    names = [e["name"] for e in entries]
    out.append(len(names))
    for i in range(ROUNDS):
        k = seed * 1000 + i
        name = names[(k * 7919) % len(names)]
        pip = (k * 104729) % 4096 - 2048
        out.append(attempt(lambda: kinetra.sample(name, Pip(pip))))
        out.append(attempt(lambda: kinetra.circle(pip)))
        out.append(attempt(lambda: kinetra.sample(name + "?", pip)))
        rows = ((Num((j % 5) / 5.0), Num(-((j + k) % 3) / 3.0), 0.0) for j in range(1 + k % 7))
        pattern = attempt(lambda: kinetra.SampledPattern(f"user_{seed}", "d", rows))
        library = attempt(lambda: kinetra.PatternLibrary([pattern, pattern]))
        out.append(library)  # a duplicate name: the error message
        library = kinetra.PatternLibrary([pattern])
        out.append(attempt(lambda: library.sample(f"user_{seed}", pip)))
        out.append(attempt(lambda: library.sample(name, Pip(pip))))
        out.append(library.catalogue()[-1])
        if i % 10 == 0:
            out.append(len(kinetra.catalogue()))
        recording = kinetra.SampledRecording(
            f"take_{seed}", ["x", "y"], [[Num(0.25), -0.5]] * (1 + k % 3), Num(120.0), 0.0, pip)
        out.append(attempt(lambda: recording.sample(pip)))
        out.append(attempt(lambda: recording.sample(pip - 1)))
    return out


if sys.argv[1] == "threads":
    sys.setswitchinterval(1e-6)
    results = [None] * 8
    barrier = threading.Barrier(8)

    def run(seed):
        barrier.wait()
        results[seed] = work(seed)

    threads = [threading.Thread(target=run, args=(seed,)) for seed in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
else:
    results = [work(seed) for seed in range(8)]
print(repr(results))
'''


def run_worker(mode, rounds):
    done = subprocess.run([sys.executable, "-c", WORKER, mode, str(rounds)], check=True,
                          capture_output=True, text=True, env=os.environ.copy())
    return ast.literal_eval(done.stdout)


def test_eight_threads_agree_with_a_serial_run():
    threaded = run_worker("threads", 400)
    serial = run_worker("serial", 400)
    assert len(threaded) == 8 and all(len(r) > 400 for r in threaded)
    assert threaded == serial
    assert serial[0][0] == len(kinetra.catalogue())  # each starts with the whole catalogue
