"""Clean-build cost of the pack tables: wall time and module size.

Configures and builds the extension module from scratch in throwaway build
directories, once with the real packs and once per chunk count with a
synthetic registry of full size (1,716 tables, 1,022,912 rows), and prints
the figures. Run it from the project root:

    scripts/dev run -- python3 bench/bench_pack_build.py [--chunks 4 8 16] [--jobs N]
"""

import argparse
import os
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SCRATCH = os.path.join(ROOT, "build", "bench-pack-build")


def clean_build(name, options, jobs):
    build = os.path.join(SCRATCH, name)
    shutil.rmtree(build, ignore_errors=True)
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja",
                    f"-DPython_EXECUTABLE={sys.executable}", *options],
                   check=True, stdout=subprocess.DEVNULL)
    start = time.perf_counter()
    subprocess.run(["cmake", "--build", build, "--target", "kinetra", "-j", str(jobs)],
                   check=True, stdout=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    module = next(os.path.join(build, "python", f)
                  for f in os.listdir(os.path.join(build, "python")) if f.endswith(".so"))
    generated = os.path.join(build, "generated", "packs")
    source_bytes = sum(os.path.getsize(os.path.join(generated, f)) for f in os.listdir(generated))
    return seconds, os.path.getsize(module), source_bytes


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chunks", type=int, nargs="+", default=[4, 8, 16])
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    args = parser.parse_args()

    variants = [("real", 16, [])]
    variants += [(f"synthetic-{n}", n, ["-DKINETRA_PACKS_SYNTHETIC=ON"]) for n in args.chunks]
    print(f"clean build of the module, {args.jobs} parallel jobs")
    print(f"{'registry':<14} {'chunks':>6} {'seconds':>8} {'module MB':>10} {'generated MB':>13}")
    for name, chunks, options in variants:
        seconds, module, source = clean_build(
            name, [f"-DKINETRA_PACK_CHUNKS={chunks}", *options], args.jobs)
        print(f"{name:<14} {chunks:>6} {seconds:>8.1f} {module / 1e6:>10.1f} {source / 1e6:>13.1f}",
              flush=True)
    shutil.rmtree(SCRATCH, ignore_errors=True)


if __name__ == "__main__":
    main()
