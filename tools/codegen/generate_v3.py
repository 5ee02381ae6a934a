#!/usr/bin/env python3
"""Generates the API 3.0 message classes (kelvo::api::v3) from the published
schemas.

    tools/codegen/generate_v3.py [--schemas DIR] [--out DIR] [--dump]

--schemas  the folder holding common-1.0/ and api-3.0/ (default: ../shared/schemas
           relative to the repository root)
--out      where the C++ sources go (default: src/api/v3 in the repository)
--dump     print the class model instead of writing sources

The schemas are read, mapped to classes by the rules of xsd_model.py, the
deviations of v3_deviations.py are applied, and the classes are written as one
header and one source per group. Re-running it over the same schemas gives the
same files.
"""
from __future__ import annotations

import argparse
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import v3_deviations  # noqa: E402
from xsd_model import SERVICE_HOST, ModelBuilder, read_schemas  # noqa: E402

REPO = HERE.parent.parent

COMMON = SERVICE_HOST + "/NTCA/1.0/common"
BASE = SERVICE_HOST + "/OSA/3.0/base"
DATA = SERVICE_HOST + "/OSA/3.0/data"
API = SERVICE_HOST + "/OSA/3.0/api"
METRICS = SERVICE_HOST + "/OSA/3.0/metrics"

SCHEMA_FILES = ["common-1.0/common.xsd", "api-3.0/invoiceBase.xsd", "api-3.0/invoiceData.xsd",
                "api-3.0/invoiceApi.xsd", "api-3.0/serviceMetrics.xsd"]

# Which schema types make up the message classes, and the output group (file
# name under src/api/v3) of each namespace: the envelope and operation
# messages, the service metrics answers no operation reads, and the base types
# they use. The invoice document types of /OSA/3.0/data and the addresses of
# the documents are not message classes; CustomerTaxNumberType is, because
# TaxNumberType admits it.
GROUPS = {COMMON: "Common", BASE: "Base", DATA: "Data", API: "Api", METRICS: "Metrics"}
ONLY = {
    BASE: {"DetailedAddressType", "TaxNumberType"},
    DATA: {"CustomerTaxNumberType"},
}


def selected(schemas) -> list:
    out = []
    for kind, uri, name in schemas.order:
        if kind == "simple" or uri not in GROUPS:
            continue
        if uri in ONLY and name not in ONLY[uri]:
            continue
        out.append((kind, uri, name))
    return out


def build_model(schema_dir: Path):
    schemas = read_schemas([schema_dir / f for f in SCHEMA_FILES])
    model = ModelBuilder(schemas).build(selected(schemas))
    v3_deviations.apply_all(model)
    by_path = {uri[len(SERVICE_HOST):]: g for uri, g in GROUPS.items()}
    for c in model.classes.values():
        c.group = by_path[c.namespace]
    for e in model.enums.values():
        e.group = by_path[e.namespace]
    return model


def dump(model) -> str:
    lines = []
    for c in model.classes.values():
        head = f"class {c.name} ns={c.namespace}"
        if c.base:
            head += f" base={c.base}"
        if c.root:
            head += " root"
        if c.admits:
            head += " admits=" + ",".join(c.admits)
        lines.append(head)
        for m in c.members:
            desc = f"  {m.name}: node={m.node}"
            if m.element and m.element != m.name:
                desc += f"({m.element})"
            desc += f" kind={m.kind}"
            if m.type:
                desc += f"<{m.type}>"
            if m.form:
                desc += f" list={m.form}"
            if m.item:
                desc += f" item={m.item}"
            desc += f" presence={m.presence}"
            if m.position is not None:
                desc += f" pos={m.position}"
            if m.twin:
                desc += f" twin={m.twin}"
            if m.alternatives:
                desc += " alts=" + ",".join(
                    f"{a.element}:{a.type or a.kind}" for a in m.alternatives)
            if m.choice_id:
                desc += f" id={m.choice_id}"
            lines.append(desc)
    for e in model.enums.values():
        lines.append(f"enum {e.name} ns={e.namespace}: " +
                     ", ".join(n if n == t else f"{n}({t})" for n, t in e.members))
    return "\n".join(lines) + "\n"


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--schemas", type=Path, default=REPO.parent / "shared" / "schemas")
    ap.add_argument("--out", type=Path, default=REPO / "src" / "api" / "v3")
    ap.add_argument("--dump", action="store_true")
    args = ap.parse_args(argv)
    model = build_model(args.schemas)
    if args.dump:
        sys.stdout.write(dump(model))
        return 0
    import emit_cpp  # noqa: E402  (C++ emitter, kept apart from the model)
    for path in emit_cpp.write_all(model, args.out):
        print(f"wrote {path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
