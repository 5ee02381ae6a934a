"""Reads XML Schema files into the neutral class model of the message classes.

The mapping from a published schema to message classes is the same for every
schema of the service:

1. One class per named complex type, members in the order of its particles,
   element names as in the schema, in the schema's target namespace.
2. One root class per global element whose anonymous type extends a named
   type without adding members; it derives from that type.
3. One enumeration per enumerated simple type, members in schema order; a
   value that is no valid identifier becomes `Item` + the value without dots
   ("1.0" -> Item10), the value staying the member's XML text.
4. An optional element of a value kind other than the text-like kinds gets a
   presence flag `<member>Specified`. Strings, byte sequences, non-negative
   integer texts, nested objects, lists and choices are present or absent.
5. A choice of single elements is a member `Item`, a repeated choice `Items`;
   where two alternatives share a value kind or class, a choice identifier
   `ItemElementName` of an `ItemChoiceType...` enumeration names the element.
6. A complex type holding nothing but one repeated element, and serving as no
   base type, is not a class: an element of that type is a wrapped list with
   the inner element as its item. Any other repeated element is a repeated
   list.
7. Simple content with attributes becomes the attributes as members, then the
   text of the element as member `Value`.
8. A named type admits, in place of itself, every named type that derives
   from it, directly or indirectly (the xsi:type subclasses).

Only the Python standard library is used.
"""
from __future__ import annotations

import re
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field
from pathlib import Path
from typing import Optional

XS = "http://www.w3.org/2001/XMLSchema"
SERVICE_HOST = "http://schemas.nav.gov.hu"

# Built-in XML Schema types and the value kind that holds them.
BUILTIN_KINDS = {
    "string": "string",
    "normalizedString": "string",
    "token": "string",
    "boolean": "boolean",
    "int": "int32",
    "integer": "int32",
    "short": "int32",
    "decimal": "decimal",
    "dateTime": "datetime",
    "date": "date",
    "base64Binary": "bytes",
    "nonNegativeInteger": "nonneg",
    "positiveInteger": "nonneg",
}

# Kinds whose members are present or absent by themselves (no presence flag).
NULLABLE_KINDS = {"string", "bytes", "nonneg", "class"}


def ns_path(uri: str) -> str:
    """The namespace path (final path of the URI) the class model uses."""
    if uri.startswith(SERVICE_HOST):
        return uri[len(SERVICE_HOST):]
    return uri


# ---------------------------------------------------------------------------
# Neutral model
# ---------------------------------------------------------------------------


@dataclass
class Alternative:
    element: str          # element name of this alternative
    kind: str             # value kind, or "class" / "enum"
    type: Optional[str]   # class or enumeration name for "class" / "enum"


@dataclass
class Member:
    name: str                        # member name in code
    node: str                        # "element", "attribute", "text" or "none"
    element: Optional[str]           # local name of the element or attribute
    kind: str                        # value kind: string boolean int32 decimal datetime date bytes
                                     # nonneg enum class choice
    type: Optional[str] = None       # class or enumeration name
    form: Optional[str] = None       # list form: None, "repeated" or "wrapped"
    item: Optional[str] = None       # item element name of a wrapped list
    presence: str = "present"        # present, flag, default, always, never
    alternatives: list = field(default_factory=list)   # for kind "choice"
    choice_id: Optional[str] = None  # identifier enumeration of a choice
    position: Optional[int] = None   # explicit position among the class's elements
    default: Optional[str] = None    # constructor default, as XML text
    twin: Optional[str] = None       # the member whose text face this member is
    min_occurs: int = 1              # as the schema says (for checks only)


@dataclass
class ClassModel:
    name: str
    namespace: Optional[str]          # namespace path, None for no type namespace
    base: Optional[str] = None
    root: bool = False
    admits: list = field(default_factory=list)
    members: list = field(default_factory=list)
    group: str = ""                   # output group (source file) of the class
    wrapper_item: Optional[tuple] = None  # (item element, particle) for pure wrappers


@dataclass
class EnumModel:
    name: str
    namespace: Optional[str]
    members: list                     # [(member name, XML text)]
    group: str = ""


@dataclass
class Model:
    classes: dict = field(default_factory=dict)   # name -> ClassModel
    enums: dict = field(default_factory=dict)     # name -> EnumModel

    def cls(self, name: str) -> ClassModel:
        return self.classes[name]

    def member(self, cls: str, name: str) -> Member:
        for m in self.classes[cls].members:
            if m.name == name:
                return m
        raise KeyError(f"{cls}.{name}")


# ---------------------------------------------------------------------------
# Schema reading
# ---------------------------------------------------------------------------


def enum_member_name(value: str) -> str:
    if re.fullmatch(r"[A-Za-z_][A-Za-z0-9_]*", value):
        return value
    return "Item" + value.replace(".", "")


class SchemaSet:
    """All named types and global elements of a set of schema files."""

    def __init__(self) -> None:
        self.simple: dict = {}    # (uri, name) -> element
        self.complex: dict = {}   # (uri, name) -> element
        self.elements: dict = {}  # (uri, name) -> element
        self.prefixes: dict = {}  # element -> prefix map of its file
        self.extended: set = set()  # (uri, name) of the types some type extends
        self.order: list = []     # (kind, uri, name) in file order

    def load(self, path: Path) -> str:
        prefixes: dict = {}
        for event, data in ET.iterparse(path, events=("start-ns",)):
            prefix, uri = data
            prefixes.setdefault(prefix, uri)
        root = ET.parse(path).getroot()
        target = root.get("targetNamespace", "")
        for child in root:
            name = child.get("name")
            if name is None:
                continue
            key = (target, name)
            if child.tag == f"{{{XS}}}simpleType":
                self.simple[key] = child
                self.order.append(("simple", target, name))
            elif child.tag == f"{{{XS}}}complexType":
                self.complex[key] = child
                self.order.append(("complex", target, name))
            elif child.tag == f"{{{XS}}}element":
                self.elements[key] = child
                self.order.append(("element", target, name))
            self._tag_prefixes(child, prefixes, target)
        for ext in root.iter(f"{{{XS}}}extension"):
            self.extended.add(self.qname(ext, ext.get("base")))
        return target

    def _tag_prefixes(self, node, prefixes, target) -> None:
        for n in node.iter():
            self.prefixes[id(n)] = (prefixes, target)

    def qname(self, node, text: str) -> tuple:
        prefixes, _target = self.prefixes[id(node)]
        if ":" in text:
            prefix, local = text.split(":", 1)
        else:
            prefix, local = "", text
        return (prefixes.get(prefix, ""), local)

    # Simple types ----------------------------------------------------------

    def simple_kind(self, key: tuple) -> tuple:
        """(value kind, enumeration values or None) of a simple type."""
        uri, name = key
        if uri == XS:
            if name not in BUILTIN_KINDS:
                raise ValueError(f"built-in type xs:{name} has no value kind")
            return BUILTIN_KINDS[name], None
        node = self.simple[key]
        restriction = node.find(f"{{{XS}}}restriction")
        if restriction is None:
            raise ValueError(f"simple type {name} is no restriction")
        values = [e.get("value") for e in restriction.findall(f"{{{XS}}}enumeration")]
        if values:
            return "enum", values
        return self.simple_kind(self.qname(restriction, restriction.get("base")))

    def is_simple(self, key: tuple) -> bool:
        return key[0] == XS or key in self.simple


# ---------------------------------------------------------------------------
# Building the model
# ---------------------------------------------------------------------------


def _occurs(node, attr: str, default: int) -> int:
    v = node.get(attr)
    if v is None:
        return default
    return 1_000_000 if v == "unbounded" else int(v)


class ModelBuilder:
    def __init__(self, schemas: SchemaSet) -> None:
        self.s = schemas
        self.model = Model()
        self.choice_ids: dict = {}   # namespace -> number of identifier enumerations

    # A complex type that holds one repeated element and nothing else, and
    # that no type or global element extends.
    def wrapper_item(self, key: tuple):
        node = self.s.complex.get(key)
        if node is None or key in self.s.extended:
            return None
        children = [c for c in node if c.tag != f"{{{XS}}}annotation"]
        if len(children) != 1 or children[0].tag != f"{{{XS}}}sequence":
            return None
        particles = [c for c in children[0] if c.tag != f"{{{XS}}}annotation"]
        if len(particles) != 1 or particles[0].tag != f"{{{XS}}}element":
            return None
        if _occurs(particles[0], "maxOccurs", 1) <= 1:
            return None
        return particles[0]

    def value_of(self, particle) -> tuple:
        """(kind, type name) of an element particle."""
        key = self.s.qname(particle, particle.get("type"))
        if self.s.is_simple(key):
            kind, values = self.s.simple_kind(key)
            if kind == "enum":
                self.add_enum(key, values)
                return "enum", key[1]
            return kind, None
        if key not in self.s.complex:
            raise ValueError(f"unknown type {key}")
        return "class", key[1]

    def add_enum(self, key: tuple, values: list) -> None:
        uri, name = key
        if name in self.model.enums:
            return
        self.model.enums[name] = EnumModel(
            name, ns_path(uri), [(enum_member_name(v), v) for v in values])

    def element_member(self, particle) -> Member:
        name = particle.get("name")
        min_occurs = _occurs(particle, "minOccurs", 1)
        max_occurs = _occurs(particle, "maxOccurs", 1)
        type_key = self.s.qname(particle, particle.get("type"))
        inner = self.wrapper_item(type_key)
        if inner is not None:
            kind, tname = self.value_of(inner)
            return Member(name, "element", name, kind, tname, form="wrapped",
                          item=inner.get("name"), presence="present", min_occurs=min_occurs)
        kind, tname = self.value_of(particle)
        if max_occurs > 1:
            return Member(name, "element", name, kind, tname, form="repeated",
                          presence="present", min_occurs=min_occurs)
        if kind in NULLABLE_KINDS:
            presence = "present"
        elif min_occurs == 0:
            presence = "flag"
        else:
            presence = "always"
        return Member(name, "element", name, kind, tname, presence=presence, min_occurs=min_occurs)

    def choice_member(self, cls: ClassModel, choice) -> Member:
        alternatives = []
        for alt in choice:
            if alt.tag == f"{{{XS}}}annotation":
                continue
            if alt.tag != f"{{{XS}}}element":
                raise ValueError(f"{cls.name}: nested particle in a choice is not supported")
            kind, tname = self.value_of(alt)
            alternatives.append(Alternative(alt.get("name"), kind, tname))
        repeated = _occurs(choice, "maxOccurs", 1) > 1
        member = Member("Items" if repeated else "Item", "element", None, "choice",
                        form="repeated" if repeated else None, presence="present",
                        alternatives=alternatives, min_occurs=_occurs(choice, "minOccurs", 1))
        signatures = [(a.kind, a.type) for a in alternatives]
        if len(set(signatures)) != len(signatures):
            member.choice_id = self.new_choice_id(cls.namespace)
            self.model.enums[member.choice_id] = EnumModel(
                member.choice_id, cls.namespace, [(a.element, a.element) for a in alternatives])
        return member

    def new_choice_id(self, namespace: str) -> str:
        n = self.choice_ids.get(namespace, 0)
        self.choice_ids[namespace] = n + 1
        return "ItemChoiceType" + (str(n) if n else "")

    def particles(self, cls: ClassModel, group) -> list:
        members = []
        for p in group:
            if p.tag == f"{{{XS}}}element":
                members.append(self.element_member(p))
            elif p.tag == f"{{{XS}}}choice":
                members.append(self.choice_member(cls, p))
            elif p.tag == f"{{{XS}}}sequence":
                members.extend(self.particles(cls, p))
            elif p.tag == f"{{{XS}}}annotation":
                continue
            else:
                raise ValueError(f"{cls.name}: particle {p.tag} is not supported")
        return members

    def complex_class(self, key: tuple) -> ClassModel:
        uri, name = key
        node = self.s.complex[key]
        cls = ClassModel(name, ns_path(uri))
        for child in node:
            tag = child.tag
            if tag in (f"{{{XS}}}sequence", f"{{{XS}}}choice"):
                cls.members.extend(self.particles(cls, [child]))
            elif tag == f"{{{XS}}}complexContent":
                ext = child.find(f"{{{XS}}}extension")
                if ext is None:
                    raise ValueError(f"{name}: complex content other than an extension")
                cls.base = self.s.qname(ext, ext.get("base"))[1]
                cls.members.extend(self.particles(cls, [c for c in ext if c.tag != f"{{{XS}}}attribute"]))
            elif tag == f"{{{XS}}}simpleContent":
                ext = child.find(f"{{{XS}}}extension")
                for attr in ext.findall(f"{{{XS}}}attribute"):
                    kind, _ = self.s.simple_kind(self.s.qname(attr, attr.get("type")))
                    cls.members.append(Member(attr.get("name"), "attribute", attr.get("name"), kind,
                                              presence="present" if kind in NULLABLE_KINDS else "always"))
                kind, _ = self.s.simple_kind(self.s.qname(ext, ext.get("base")))
                cls.members.append(Member("Value", "text", None, kind, presence="present"))
            elif tag == f"{{{XS}}}annotation":
                continue
            else:
                raise ValueError(f"{name}: {tag} is not supported")
        return cls

    def root_class(self, key: tuple) -> ClassModel:
        uri, name = key
        node = self.s.elements[key]
        ctype = node.find(f"{{{XS}}}complexType")
        if ctype is None:
            raise ValueError(f"global element {name} has no anonymous type")
        ext = ctype.find(f"{{{XS}}}complexContent/{{{XS}}}extension")
        if ext is None or len([c for c in ext if c.tag != f"{{{XS}}}annotation"]):
            raise ValueError(f"global element {name} must extend a named type without members")
        return ClassModel(name, ns_path(uri), base=self.s.qname(ext, ext.get("base"))[1], root=True)

    def build(self, selected: list) -> Model:
        """Builds the classes of the given (uri, name, "complex"|"element") keys.

        Pure wrapper types become no class. Enumerations are added as members
        use them.
        """
        for kind, uri, name in selected:
            key = (uri, name)
            if kind == "complex":
                if self.wrapper_item(key) is not None:
                    continue
                cls = self.complex_class(key)
            else:
                cls = self.root_class(key)
            if cls.name in self.model.classes:
                raise ValueError(f"class {cls.name} defined twice")
            self.model.classes[cls.name] = cls
        self.compute_admits()
        return self.model

    def compute_admits(self) -> None:
        classes = self.model.classes
        for cls in classes.values():
            if cls.root:
                continue
            admitted = []
            for other in classes.values():
                if other is cls or other.root:
                    continue
                b = other.base
                while b is not None:
                    if b == cls.name:
                        admitted.append(other.name)
                        break
                    b = classes[b].base if b in classes else None
            cls.admits = sorted(admitted)


def read_schemas(paths: list) -> SchemaSet:
    s = SchemaSet()
    for p in paths:
        s.load(Path(p))
    return s
