"""The kinetra stub against the module it describes.

The stub ships as the stub-only package ``kinetra-stubs`` beside the
extension module. It is checked three ways: every signature against the
module's own docstring signatures (the stub may only narrow ``list`` to
``list[CatalogueEntry]``, make the unnamed rudiment argument positional-only
and write a default as ``...``), the names and kinds of everything with
mypy's stubtest, and, installed by the build's own install rules into a
fresh virtual environment, with ``mypy --strict`` on a typed user script and
on one that must fail where it misuses the API.
"""

import ast
import os
import re
import subprocess
import sys
import sysconfig
import textwrap
import types
from pathlib import Path

import pytest

import kinetra

BUILD = Path(kinetra.__file__).resolve().parent.parent
STUB = BUILD / "python" / "kinetra-stubs" / "__init__.pyi"
PREFIXES = re.compile(r"\b(?:typing|collections\.abc|kinetra)\.")


def norm(annotation):
    return PREFIXES.sub("", annotation)


def params_of(args):
    """(name, kind, annotation, default) for every parameter after self."""
    positional = [(a, "posonly") for a in args.posonlyargs] + [(a, "normal") for a in args.args]
    defaults = [None] * (len(positional) - len(args.defaults)) + list(args.defaults)
    found = []
    for (arg, kind), default in zip(positional, defaults):
        found.append((arg.arg, kind, norm(ast.unparse(arg.annotation)) if arg.annotation else None,
                      ast.unparse(default) if default is not None else None))
    return found


def parse_docstring_signature(text, bound=False):
    """A pybind11 docstring signature, "name(a: T, ...) -> R", as (params, result).

    ``bound``: drop the first parameter, the instance of a method or property.
    """
    first = text.strip().splitlines()[0]
    fn = ast.parse("def f" + first[first.index("("):] + ": ...").body[0]
    return params_of(fn.args)[1 if bound else 0:], norm(ast.unparse(fn.returns))


def runtime_signatures():
    sigs = {}
    for name, obj in vars(kinetra).items():
        if name.startswith("__") or name == "PIPS_PER_BEAT":
            continue
        if isinstance(obj, type):
            sigs[name] = "class"
            for attr, member in vars(obj).items():
                if isinstance(member, property):
                    sigs[f"{name}.{attr}"] = ("property", *parse_docstring_signature(member.fget.__doc__, True))
                elif isinstance(member, types.MemberDescriptorType):
                    sigs[f"{name}.{attr}"] = ("property", [], "float")  # Offset3's read-only doubles
                elif attr == "__init__" and not (member.__doc__ or "").startswith("__init__("):
                    continue  # no constructor: the binding layer's refusing __init__
                elif attr == "__init__" or not attr.startswith("_"):
                    sigs[f"{name}.{attr}"] = ("def", *parse_docstring_signature(member.__doc__, True))
        else:
            sigs[name] = ("def", *parse_docstring_signature(obj.__doc__))
    return sigs


def stub_signatures(tree):
    sigs = {}

    def function(node, prefix=""):
        kind = "property" if any(ast.unparse(d) == "property" for d in node.decorator_list) else "def"
        sigs[prefix + node.name] = (kind, params_of(node.args)[1 if prefix else 0:],
                                    norm(ast.unparse(node.returns)))

    for node in tree.body:
        if isinstance(node, ast.FunctionDef):
            function(node)
        elif isinstance(node, ast.ClassDef):
            if any("type_check_only" in ast.unparse(d) for d in node.decorator_list):
                continue  # exists for type checkers only
            sigs[node.name] = "class"
            for item in node.body:
                if isinstance(item, ast.FunctionDef):
                    function(item, node.name + ".")
    return sigs


def same(stub, runtime, name):
    """True if the stub's signature says what the runtime's says, or narrows it as allowed."""
    if stub == runtime == "class":
        return True
    (skind, sparams, sresult), (rkind, rparams, rresult) = stub, runtime
    if skind != rkind or len(sparams) != len(rparams):
        return False
    if sresult != rresult and not (rresult == "list" and sresult == "list[CatalogueEntry]"
                                   and name.endswith("catalogue")):
        return False
    for (sn, sk, sa, sd), (rn, rk, ra, rd) in zip(sparams, rparams):
        if re.fullmatch(r"arg\d+", rn):
            if sk != "posonly":
                return False
        elif (sn, sk) != (rn, rk):
            return False
        if sa != ra or (sd != rd and sd != "..."):
            return False
    return True


def test_stub_signatures_match_the_module():
    tree = ast.parse(STUB.read_text(encoding="utf-8"))
    stub, runtime = stub_signatures(tree), runtime_signatures()
    assert sorted(stub) == sorted(runtime)
    drifted = [name for name in runtime if not same(stub[name], runtime[name], name)]
    assert drifted == [], {name: (stub[name], runtime[name]) for name in drifted}
    constants = [n for n in tree.body if isinstance(n, ast.AnnAssign)]
    assert [(ast.unparse(n.target), ast.literal_eval(n.value)) for n in constants] == [
        ("PIPS_PER_BEAT", kinetra.PIPS_PER_BEAT)]
    assert ast.get_docstring(tree) == kinetra.__doc__


@pytest.fixture(scope="module")
def venv(tmp_path_factory):
    """A fresh virtual environment holding what a wheel installs, by the same install rules."""
    root = tmp_path_factory.mktemp("venv")
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", "--without-pip", root / "env"],
                   check=True)
    python = root / "env" / "bin" / "python"
    site = subprocess.run([python, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))"],
                          check=True, capture_output=True, text=True).stdout.strip()
    subprocess.run(["cmake", "--install", BUILD, "--prefix", site], check=True, capture_output=True)
    return python, root


def run_in(venv, *args, cwd):
    python, _ = venv
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    return subprocess.run([python, *args], cwd=cwd, env=env, capture_output=True, text=True)


def mypy(venv, path):
    return run_in(venv, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
                  path.name, cwd=path.parent)


GOOD = """\
import array

import kinetra
from kinetra_tools import FrameClock, pip_at

def names() -> list[str]:
    return [e["name"] for e in kinetra.catalogue() if e["period_pips"] >= kinetra.PIPS_PER_BEAT]

o: kinetra.Offset3 = kinetra.sample("circle", 70)
xyz: tuple[float, float, float] = o.as_tuple()
total: float = o.x + o.y + o.z + kinetra.bounce(3).x
pattern = kinetra.SampledPattern("mine", "a loop", [(0.0, 0.5, 1.0)] * 64)
period: int = pattern.period_pips
library = kinetra.PatternLibrary([pattern])
library_names: list[str] = [e["description"] for e in library.catalogue()]
hit: kinetra.Offset3 = library.sample("mine", 3)
rows: memoryview = kinetra.sample_many("circle", range(64))
loop_rows: memoryview = pattern.sample_many(array.array("i", [0, 1]), out=memoryview(bytearray(48)).cast("d", (2, 3)))
library_rows: memoryview = library.sample_many("mine", [3, -3], None)
recording = kinetra.SampledRecording("take", ["x"], [[0.1], [0.2]], 120.0, start_pip=4)
values: list[float] = recording.sample(4)
axes: list[str] = recording.dimensions
clock = FrameClock("30000/1001", 174)
pip: int = clock.pip(107_892) + pip_at(1.5, 120)
"""

BAD = """\
import kinetra

kinetra.bounce(pip=5)  # error: rudiments take the pip by position
kinetra.sample("circle")  # error: pip missing
kinetra.SampledPattern("p", "d", []).sample(1.5)  # error: no-conversion int
kinetra.circle(0).x = 1.0  # error: read-only
kinetra.catalogue()[0]["period"]  # error: no such key
kinetra.PatternLibrary([(0.0, 0.0, 0.0)])  # error: not a SampledPattern
name: int = kinetra.SampledRecording("r", ["x"], [[0.0]], 120).name  # error: str
kinetra.SampledPattern("p", "d", []).sample_many([0.5])  # error: pips are ints
kinetra.sample_many("circle", [0], out=[[0.0, 0.0, 0.0]])  # error: out is a buffer
"""


def test_typed_script_passes_mypy_strict_against_the_installed_stub(venv, tmp_path):
    script = tmp_path / "good.py"
    script.write_text(GOOD)
    result = mypy(venv, script)
    assert result.returncode == 0, result.stdout + result.stderr
    ran = run_in(venv, script.name, cwd=tmp_path)  # and the same script runs
    assert ran.returncode == 0, ran.stderr


def test_misuse_fails_mypy_strict_on_each_marked_line(venv, tmp_path):
    script = tmp_path / "bad.py"
    script.write_text(BAD)
    result = mypy(venv, script)
    reported = sorted({int(m) for m in re.findall(r"^bad\.py:(\d+): error", result.stdout, re.M)})
    marked = [i for i, line in enumerate(BAD.splitlines(), 1) if "# error" in line]
    assert reported == marked, result.stdout


def test_stubtest_and_tools_package_types(venv, tmp_path):
    # The binding layer's metaclass is not the module's own and has no place
    # in the stub.
    allow = tmp_path / "allow.txt"
    allow.write_text("kinetra\\.(Offset3|SampledPattern|PatternLibrary|SampledRecording)\n")
    result = run_in(venv, "-m", "mypy.stubtest", "kinetra", "--allowlist", str(allow), cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    result = run_in(venv, "-m", "mypy", "--strict", "--no-incremental", "--cache-dir", os.devnull,
                    "-p", "kinetra_tools", cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr
    site = Path(run_in(venv, "-c", "import sysconfig; print(sysconfig.get_path('platlib'))",
                       cwd=tmp_path).stdout.strip())
    assert {p.name for p in site.iterdir()} >= {"kinetra-stubs", "kinetra_tools"}
    assert sysconfig.get_config_var("EXT_SUFFIX") in {p.name[len("kinetra"):] for p in site.iterdir()
                                                     if p.name.startswith("kinetra.")}
