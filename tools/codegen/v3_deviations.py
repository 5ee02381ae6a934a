"""Where the API 3.0 message classes differ from the published schemas.

The schemas are mapped to classes by the general rules of xsd_model.py. The
message classes the library exposes differ from that mapping in the few points
below; each entry says what differs. Everything not listed here follows the
schema.
"""
from __future__ import annotations

from dataclasses import dataclass

from xsd_model import Member, Model


@dataclass
class DropMember:
    cls: str
    member: str
    why: str

    def apply(self, model: Model) -> None:
        c = model.cls(self.cls)
        before = len(c.members)
        c.members = [m for m in c.members if m.name != self.member]
        if len(c.members) == before:
            raise ValueError(f"deviation: {self.cls}.{self.member} not found")


@dataclass
class TimestampWithTextTwin:
    """A date-time element held as a date-time member that is never written
    plus a string member that carries its text form and is always written;
    reading the element sets the date-time."""
    cls: str
    member: str
    text_member: str
    why: str

    def apply(self, model: Model) -> None:
        c = model.cls(self.cls)
        i = next(i for i, m in enumerate(c.members) if m.name == self.member)
        old = c.members[i]
        if old.kind != "datetime":
            raise ValueError(f"deviation: {self.cls}.{self.member} is no date-time")
        value = Member(self.member, "none", None, "datetime", presence="never")
        text = Member(self.text_member, "element", old.element, "string", presence="always",
                      twin=self.member)
        c.members[i:i + 1] = [value, text]


@dataclass
class ExplicitPositions:
    cls: str
    positions: dict
    why: str

    def apply(self, model: Model) -> None:
        for name, pos in self.positions.items():
            model.member(self.cls, name).position = pos


@dataclass
class AlternativeOrder:
    cls: str
    member: str
    order: list
    why: str

    def apply(self, model: Model) -> None:
        m = model.member(self.cls, self.member)
        by_name = {a.element: a for a in m.alternatives}
        if sorted(by_name) != sorted(self.order):
            raise ValueError(f"deviation: alternatives of {self.cls}.{self.member} differ")
        m.alternatives = [by_name[n] for n in self.order]


DEVIATIONS = [
    DropMember(
        "UserHeaderType", "predecessorTaxNumber",
        why="The common schema adds the optional element predecessorTaxNumber to the user "
            "block; the user block of the message classes has login, passwordHash, taxNumber "
            "and requestSignature only, so the element is neither written nor read."),
    TimestampWithTextTwin(
        "BasicHeaderType", "timestamp", "timestampString",
        why="The schema's header timestamp is one date-time element. The class holds the "
            "instant as date-time member timestamp (never written) and writes the element "
            "timestamp from the always-written text twin timestampString, in the form "
            "yyyy-MM-ddTHH:mm:ss.fffZ."),
    ExplicitPositions(
        "BasicHeaderType",
        {"requestId": 0, "timestampString": 1, "requestVersion": 2, "headerVersion": 3},
        why="The header elements carry explicit positions, so their order does not depend "
            "on declaration order (the schema's sequence order, made explicit)."),
    AlternativeOrder(
        "InvoiceReferenceDataType", "Item", ["modificationIndex", "modificationTimestamp"],
        why="The schema's choice lists modificationTimestamp first; the class lists the "
            "alternatives by element name. Only the order of the alternatives in the class "
            "differs; the value still selects the element."),
]


def apply_all(model: Model) -> None:
    for d in DEVIATIONS:
        d.apply(model)
