"""Pack and pattern declarations used by every pack's recipes.

A pack's recipes module creates one `Pack` and registers its patterns, in
registry order, with the `pattern` decorator:

    initial = Pack("initial")

    @initial.pattern("lfo_breathe", 256, 1, "A four-beat ...")
    def lfo_breathe(P):
        def x(p):
            return 0.8 * sin(theta(p, P))
        return (x,)

A recipe takes the period P and returns the axes (x, then y, then z); axes
left out are zero. Each axis is a curve (a function of the pip), a list of P
values, or a constant number.
"""

from dataclasses import dataclass, field
from typing import Callable


@dataclass
class Pattern:
    pack: str
    name: str
    period: int
    dimensions: int
    description: str
    recipe: Callable

    def axes(self):
        """The three axes as lists of raw (unrounded) values, P of each."""
        P = self.period
        produced = self.recipe(P)
        if not isinstance(produced, tuple):
            produced = (produced,)
        if not 1 <= len(produced) <= 3:
            raise ValueError(f"{self.name}: a recipe returns one to three axes")
        columns = []
        for axis in produced + (0.0,) * (3 - len(produced)):
            if callable(axis):
                columns.append([axis(p) for p in range(P)])
            elif isinstance(axis, (int, float)):
                columns.append([float(axis)] * P)
            else:
                columns.append([float(v) for v in axis])
        return columns


@dataclass
class Pack:
    name: str
    patterns: list = field(default_factory=list)
    # Checks across built tables: each takes {name: (largest |x|, |y|, |z|)}
    # of every table built and returns violations, like the table rules.
    checks: list = field(default_factory=list)

    def pattern(self, name, period, dimensions, description):
        def register(recipe):
            self.patterns.append(
                Pattern(self.name, name, period, dimensions, description, recipe))
            return recipe
        return register
