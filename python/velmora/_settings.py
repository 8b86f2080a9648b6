"""The analysis settings, field by field, as the program's windows and
velmora-cli's ``--set`` name and show them (one table of fields for all three)."""

import re

from . import _core

FIELDS = _core._setting_fields()


def _identifier(name):
    """The field's name as a Python identifier: "C1/C" -> "C1_C"."""
    return re.sub(r"\W", "_", name)


# Names are matched without regard to case, as --set matches them, and in
# either spelling.
_BY_KEY = {}
for _f in FIELDS:
    _BY_KEY[_f["name"].lower()] = _f
    _BY_KEY[_identifier(_f["name"]).lower()] = _f


def _field(key, group=None):
    f = _BY_KEY.get(str(key).lower())
    if f is None or (group is not None and group not in f["groups"]):
        where = f" of group {group!r}" if group else ""
        raise KeyError(f"no setting {key!r}{where}")
    return f


class SettingsGroup:
    """The fields of one group of a Settings object: "fi" holds those that
    ``velmora-cli fi --set`` takes (spike criteria, filter, F-I options),
    "fc" those of ``velmora-cli fc --set`` (compensation, pulse analysis,
    approximation, estimation). A field is read and set by its --set name
    (``group["C1/C"]``) or as an attribute with every character that cannot
    be in a Python name written "_" (``group.C1_C``), in the units its field
    shows (TimeWindow in ms, a box True or False, a list its item number). A
    value outside the field's limits raises ValueError and changes nothing.
    Fields in both groups ("Analyze_since_t0", "Lost_parameters") are one
    setting."""

    __slots__ = ("_settings", "_group")

    def __init__(self, settings, group):
        object.__setattr__(self, "_settings", settings)
        object.__setattr__(self, "_group", group)

    def __getitem__(self, key):
        return self._settings._get(_field(key, self._group)["name"])

    def __setitem__(self, key, value):
        self._settings._set(_field(key, self._group)["name"], value)

    def __getattr__(self, key):
        try:
            return self[key]
        except KeyError as e:
            raise AttributeError(e.args[0]) from None

    def __setattr__(self, key, value):
        try:
            self[key] = value
        except KeyError as e:
            raise AttributeError(e.args[0]) from None

    def names(self):
        """The --set names of the group's fields, in the order of the windows."""
        return [f["name"] for f in FIELDS if self._group in f["groups"]]

    def __iter__(self):
        return iter(self.names())

    def __dir__(self):
        return [_identifier(n) for n in self.names()]

    def items(self):
        return [(n, self[n]) for n in self.names()]

    def __repr__(self):
        lines = [f"<velmora settings group {self._group!r}"]
        for f in FIELDS:
            if self._group in f["groups"]:
                lines.append(f"  {f['name']} = {self[f['name']]!r} {f['unit']}".rstrip())
        return "\n".join(lines) + ">"


class Settings(_core._Settings):
    """All analysis settings, as the program holds them: ``Settings()`` and
    ``Settings.adjusted()`` are the program after start-up (the design
    defaults with "Kelmar's set of parameters" applied), as velmora-cli
    starts; ``Settings.default()`` applies "Default" instead, as
    ``--preset default`` does. Edit them through the groups ``fi`` and
    ``fc`` (see SettingsGroup) or by --set name: ``settings["V_min"] = -20``.
    Settings.FIELDS describes every field: name, kind ("number", "integer",
    "box", "item"), unit, min, max, groups, caption, box, note, items."""

    FIELDS = FIELDS

    @classmethod
    def adjusted(cls):
        return cls()

    @classmethod
    def default(cls):
        settings = cls()
        settings._apply_preset(0)
        return settings

    @property
    def fi(self):
        return SettingsGroup(self, "fi")

    @property
    def fc(self):
        return SettingsGroup(self, "fc")

    def __getitem__(self, key):
        return self._get(_field(key)["name"])

    def __setitem__(self, key, value):
        self._set(_field(key)["name"], value)

    def copy(self):
        other = type(self)()
        other._copy_from(self)
        return other

    def __repr__(self):
        return f"<velmora.Settings: {len(self.fi.names())} fields in .fi, {len(self.fc.names())} in .fc>"
