"""Argument stand-ins shared by the conversion tests: objects that offer only
one of Python's number protocols, and subclasses of the built-in numbers."""
import re

import pytest


def value_error(message):
    """Expect a ValueError whose message is exactly `message`."""
    return pytest.raises(ValueError, match=f"^{re.escape(message)}$")


class Index:
    """An integer through __index__ only."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class IntOnly:
    """An integer through __int__ only (no __index__)."""

    def __init__(self, value):
        self.value = value

    def __int__(self):
        return self.value


class FloatOnly:
    """A number through __float__ only."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class FloatSub(float):
    pass


class IntSub(int):
    pass
