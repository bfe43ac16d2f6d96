import copy
import decimal
import fractions
import pickle
import weakref

import pytest

import kinetra
from rudiment_reference import BUILTINS
from stand_ins import FloatSub, Index, IntOnly, IntSub

RUDIMENTS = list(BUILTINS)  # in the order they are registered
REGISTRATION_ORDER = [
    "PIPS_PER_BEAT", "SampledRecording", "Offset3", "SampledPattern", "PatternLibrary",
    "sample", "catalogue", "sample_many", *RUDIMENTS,
]


def test_module_attributes():
    assert kinetra.__doc__ == "Integer-pip rhythmic position functions"
    assert kinetra.PIPS_PER_BEAT == 64 and type(kinetra.PIPS_PER_BEAT) is int


def test_names_are_registered_in_order():
    public = [name for name in vars(kinetra) if not name.startswith("__")]
    assert public == [name for name in REGISTRATION_ORDER if hasattr(kinetra, name)]


def test_offset3_is_a_read_only_snapshot_without_constructor():
    with pytest.raises(TypeError, match=r"^kinetra\.Offset3: No constructor defined!$"):
        kinetra.Offset3()
    o = kinetra.circle(8)
    assert o.as_tuple() == (o.x, o.y, o.z)
    assert all(type(v) is float for v in o.as_tuple())
    with pytest.raises(AttributeError):
        o.x = 1.0
    with pytest.raises(AttributeError):
        o.extra = 1
    assert o != kinetra.circle(8) and o == o  # identity only


def test_offset3_has_no_back_door_and_no_pickling():
    # __new__ must not hand out an instance whose fields were never set.
    with pytest.raises(TypeError, match=r"^kinetra\.Offset3: No constructor defined!$"):
        kinetra.Offset3.__new__(kinetra.Offset3)
    o = kinetra.sample("circle", 8)
    for duplicate in (pickle.dumps, copy.copy, copy.deepcopy):
        with pytest.raises(TypeError):
            duplicate(o)
    with pytest.raises(TypeError):
        len(o)
    with pytest.raises(TypeError):
        o[0]
    assert weakref.ref(o)() is o
    assert not hasattr(o, "__dict__")
    # A dropped instance's memory may serve the next one: its weak references
    # die with it and the next one starts clean.
    ref = weakref.ref(o)
    del o
    assert ref() is None
    again = [kinetra.sample("circle", p) for p in range(100)]
    assert [a.as_tuple() for a in again] == [kinetra.circle(p).as_tuple() for p in range(100)]
    assert all(weakref.getweakrefcount(a) == 0 for a in again)


@pytest.mark.parametrize(
    "pip, same_as",
    [
        (True, 1),
        (False, 0),
        (IntSub(5), 5),
        (Index(7), 7),
        (IntOnly(5), 5),
        (decimal.Decimal(5), 5),
        (decimal.Decimal("5.9"), 5),  # int() truncates toward zero
        (decimal.Decimal("-5.9"), -5),
        (fractions.Fraction(7, 2), 3),
        (-(2**31), -(2**31)),
        (2**31 - 1, 2**31 - 1),
    ],
)
def test_convertible_pip_accepts(pip, same_as):
    assert kinetra.sample("circle", pip).as_tuple() == kinetra.circle(same_as).as_tuple()
    assert kinetra.circle(pip).as_tuple() == kinetra.circle(same_as).as_tuple()


@pytest.mark.parametrize(
    "pip",
    [16.0, FloatSub(1.0), 2**31, -(2**31) - 1, 2**64, "5", None, 1j],
)
def test_convertible_pip_refuses(pip):
    with pytest.raises(TypeError):
        kinetra.sample("circle", pip)
    with pytest.raises(TypeError):
        kinetra.circle(pip)


@pytest.mark.parametrize("name", [b"circle", bytearray(b"circle"), "circle"])
def test_names_as_str_bytes_or_bytearray(name):
    assert kinetra.sample(name, 5).as_tuple() == kinetra.circle(5).as_tuple()


@pytest.mark.parametrize("name", [None, 5, ["circle"], "\ud800"])
def test_names_that_do_not_convert(name):
    with pytest.raises(TypeError):
        kinetra.sample(name, 5)


def test_keywords_and_positional_only_rudiments():
    assert kinetra.sample(name="circle", pip_count=5).as_tuple() == kinetra.circle(5).as_tuple()
    with pytest.raises(TypeError):
        kinetra.bounce(pip=5)
    with pytest.raises(TypeError):
        kinetra.bounce()
    with pytest.raises(TypeError):
        kinetra.bounce(1, 2)


INT = "typing.SupportsInt | typing.SupportsIndex"


@pytest.mark.parametrize(
    "function, signature",
    [
        (kinetra.sample, f"sample(name: str, pip_count: {INT}) -> kinetra.Offset3"),
        (kinetra.catalogue, "catalogue() -> list"),
        (kinetra.bounce, f"bounce(arg0: {INT}) -> kinetra.Offset3"),
        (kinetra.five_stroke_roll, f"five_stroke_roll(arg0: {INT}) -> kinetra.Offset3"),
        (kinetra.Offset3.as_tuple, "as_tuple(self: kinetra.Offset3) -> tuple[float, float, float]"),
    ],
)
def test_generated_signatures_and_no_docstrings(function, signature):
    assert function.__doc__.strip() == signature


def test_every_rudiment_is_a_function_returning_offset3():
    for name in RUDIMENTS:
        assert isinstance(getattr(kinetra, name)(0), kinetra.Offset3)


def test_refuses_to_load_in_a_sub_interpreter():
    interpreters = pytest.importorskip("concurrent.interpreters")
    import sys

    interp = interpreters.create()
    try:
        interp.exec(f"import sys; sys.path[:] = {sys.path!r}")
        with pytest.raises(interpreters.ExecutionFailed, match="ImportError"):
            interp.exec("import kinetra")
    finally:
        interp.close()


def _new(cls):
    return cls.__new__(cls)


# Every way an instance of a bound class reaches native code, on an instance
# made by __new__ alone.
UNINITIALISED_USES = {
    "pattern.name": lambda: _new(kinetra.SampledPattern).name,
    "pattern.description": lambda: _new(kinetra.SampledPattern).description,
    "pattern.period_pips": lambda: _new(kinetra.SampledPattern).period_pips,
    "pattern.sample": lambda: _new(kinetra.SampledPattern).sample(0),
    "library.sample": lambda: _new(kinetra.PatternLibrary).sample("circle", 0),
    "library.catalogue": lambda: _new(kinetra.PatternLibrary).catalogue(),
    "library of it": lambda: kinetra.PatternLibrary([_new(kinetra.SampledPattern)]),
    "recording.name": lambda: _new(kinetra.SampledRecording).name,
    "recording.dimensions": lambda: _new(kinetra.SampledRecording).dimensions,
    "recording.sample_count": lambda: _new(kinetra.SampledRecording).sample_count,
    "recording.bpm": lambda: _new(kinetra.SampledRecording).bpm,
    "recording.beat_zero_seconds": lambda: _new(kinetra.SampledRecording).beat_zero_seconds,
    "recording.start_pip": lambda: _new(kinetra.SampledRecording).start_pip,
    "recording.sample": lambda: _new(kinetra.SampledRecording).sample(0),
    "offset.x": lambda: _new(kinetra.Offset3).x,
    "offset.as_tuple": lambda: _new(kinetra.Offset3).as_tuple(),
}


@pytest.mark.parametrize("use", list(UNINITIALISED_USES))
def test_instances_made_by_new_alone_are_refused(use):
    # Such an instance holds no native value; reading it used to crash or
    # return whatever the fresh memory held. (An Offset3 may refuse __new__
    # itself.)
    with pytest.raises(TypeError, match="uninitialised|No constructor"):
        UNINITIALISED_USES[use]()


def test_subclass_touching_self_before_base_init_is_refused():
    class Early(kinetra.SampledPattern):
        def __init__(self):
            self.seen = None
            try:
                self.name
            except TypeError as error:
                self.seen = error
            super().__init__("early", "", [(0.5, 0.0, 0.0)])

    early = Early()
    assert isinstance(early.seen, TypeError)
    assert early.name == "early" and early.sample(3).as_tuple() == (0.5, 0.0, 0.0)
    assert kinetra.PatternLibrary([early]).sample("early", 0).as_tuple() == (0.5, 0.0, 0.0)


def test_subclass_swallowing_a_failed_base_init_is_not_half_built():
    class Swallow(kinetra.SampledPattern):
        def __init__(self):
            try:
                super().__init__("Bad", "", [])
            except ValueError:
                pass

    with pytest.raises(TypeError, match=r"__init__\(\) must be called"):
        Swallow()


def _instances():
    pattern = kinetra.SampledPattern("p", "d", [(0.5, 0.0, 0.0), (0.25, 0.0, 0.0)])
    return [
        (pattern, (1,), {"pip_count": 1}, (0.25, 0.0, 0.0)),
        (kinetra.PatternLibrary([pattern]), ("p", -1), {"name": "p", "pip_count": -1}, (0.25, 0.0, 0.0)),
        (kinetra.SampledRecording("r", ["x"], [[0.5], [0.25]], 60.0), (1,), {"pip": 1}, [0.25]),
    ]


@pytest.mark.parametrize("index", range(3))
def test_sample_methods_read_as_methods_however_they_are_reached(index):
    import pydoc

    obj, args, kwargs, expected = _instances()[index]
    cls = type(obj)

    def plain(result):
        return result.as_tuple() if isinstance(result, kinetra.Offset3) else result

    bound = obj.sample
    assert bound.__self__ is obj and plain(bound(*args)) == expected
    assert plain(obj.sample(*args)) == plain(obj.sample(**kwargs)) == expected
    assert plain(cls.sample(obj, *args)) == expected
    assert cls.sample is cls.sample
    assert cls.sample.__doc__.startswith(f"sample(self: kinetra.{cls.__name__}, ")
    assert ("sample", "method") in [(a[0], a[1]) for a in pydoc.classify_class_attrs(cls)]
    with pytest.raises(TypeError):
        cls.sample(object(), *args)
    with pytest.raises(TypeError):
        obj.sample(*args, 1)
