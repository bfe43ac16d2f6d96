"""The expansion pack: longer low-frequency shapes, closed geometric paths
and metric rhythm studies.

Notation: P is the period, p the pip (0 <= p < P), u = p/P, θ = 2πp/P.
"""

from pack import Pack

pack = Pack("expansion")
pattern = pack.pattern
