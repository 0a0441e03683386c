#!/usr/bin/python3
"""The fleet's reports (slv2update --report, docs/report.schema.json) in words.

  fleet_summary.py line HOST REPORT   one host's status as JSON for the playbook:
                                      {"status", "line", "changed", "failed"}
  fleet_summary.py table FOLDER       every FOLDER/*.json (and every host whose
                                      run left no report, FOLDER/*.noreport, as
                                      failed) as a text table on the standard
                                      output, also written to FOLDER/summary.txt
                                      and FOLDER/summary.html

A status is named: updated, would change, up to date, nothing to update,
failed, busy, cancelled, not an administrator, invalid command line.
"""
import html
import json
import pathlib
import sys

# Linux passes on the low 8 bits of an exit status; both forms are known.
NAMES = {0: "updated", 1642: "nothing to update", 1603: "failed", 1618: "busy",
         1602: "cancelled", 1925: "not an administrator", 1639: "invalid command line"}
NAMES.update({status & 0xFF: name for status, name in list(NAMES.items()) if status})
GOOD = {"updated", "would change", "up to date", "nothing to update"}


def status_of(report):
    name = NAMES.get(report["exitStatus"], "failed")
    if report["dryRun"] and name == "updated":
        changes = any(p["outcomes"] for p in report["products"])
        return "would change" if changes else "up to date"
    return name


def first_problem(report):
    """The first error, else the first skip reason, else why nothing ran."""
    for product in report["products"]:
        if product["result"] == "error":
            error = product["error"]
            return f'{product["name"]}: {error["class"]} ({error["message"]})'
    for product in report["products"]:
        if product["result"] == "skipped" and product.get("reason") != "not run":
            return f'{product["name"]}: skipped: {product["reason"]}'
    return report.get("reason", "")


def row(host, report):
    status = status_of(report)
    problem = first_problem(report)
    versions = ", ".join(
        f'{p.get("key", p["id"])} {p.get("versionBefore", "?")}->{p.get("versionAfter", "?")}'
        for p in report["products"] if "versionBefore" in p or "versionAfter" in p)
    return {"host": host, "status": status, "problem": problem, "versions": versions,
            "products": len(report["products"]), "end": report["end"]}


def line(host, path):
    r = row(host, json.loads(pathlib.Path(path).read_text(encoding="utf-8")))
    text = f'{host}: {r["status"]}' + (f': {r["problem"]}' if r["problem"] else "")
    print(json.dumps({"status": r["status"], "line": text,
                      "changed": r["status"] == "updated",
                      "failed": r["status"] not in GOOD}))


def table(folder):
    folder = pathlib.Path(folder)
    rows = []
    for path in sorted(folder.glob("*.json")):
        try:
            report = json.loads(path.read_text(encoding="utf-8"))
            rows.append(row(path.stem, report))
        except (ValueError, KeyError) as error:
            rows.append({"host": path.stem, "status": "unreadable report", "problem": str(error),
                         "versions": "", "products": 0, "end": ""})
    # The playbook's line for a host whose run wrote no report.
    for path in sorted(folder.glob("*.noreport")):
        problem = path.read_text(encoding="utf-8").strip().partition(": failed: ")[2]
        rows.append({"host": path.stem, "status": "failed", "problem": problem, "versions": "",
                     "products": 0, "end": ""})
    heads = ["host", "status", "products", "versions", "problem"]
    widths = [max([len(h)] + [len(str(r[h])) for r in rows]) for h in heads[:-1]]
    lines = ["  ".join(h.ljust(w) for h, w in zip(heads, widths)) + "  problem"]
    for r in rows:
        lines.append("  ".join(str(r[h]).ljust(w) for h, w in zip(heads, widths)) +
                     "  " + r["problem"])
    counts = {}
    for r in rows:
        counts[r["status"]] = counts.get(r["status"], 0) + 1
    lines.append(f"{len(rows)} hosts: " +
                 ", ".join(f"{n} {s}" for s, n in sorted(counts.items())))
    text = "\n".join(lines) + "\n"
    (folder / "summary.txt").write_text(text, encoding="utf-8")
    cells = "".join(
        "<tr class=\"{}\">{}</tr>\n".format(
            "good" if r["status"] in GOOD else "bad",
            "".join(f"<td>{html.escape(str(r[h]))}</td>" for h in heads))
        for r in rows)
    page = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>slv2update fleet"
            "</title>\n<style>td,th{padding:2px 8px;text-align:left}.bad{background:#fdd}"
            "</style></head>\n<body><h1>slv2update fleet</h1>\n<p>" + html.escape(lines[-1]) +
            "</p>\n<table>\n<tr>" + "".join(f"<th>{h}</th>" for h in heads) + "</tr>\n" +
            cells + "</table></body></html>\n")
    (folder / "summary.html").write_text(page, encoding="utf-8")
    sys.stdout.write(text)


if __name__ == "__main__":
    if len(sys.argv) == 4 and sys.argv[1] == "line":
        line(sys.argv[2], sys.argv[3])
    elif len(sys.argv) == 3 and sys.argv[1] == "table":
        table(sys.argv[2])
    else:
        sys.exit(__doc__)
