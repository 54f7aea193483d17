#!/usr/bin/env python3
"""Reads `vannor-cli history --csv` with Python's own CSV reader and compares it, record for
record and field for field, with `vannor-cli history --json`. Exits 0 when they agree, else
prints the first difference and exits 1.

    csv_matches_json.py HISTORY.csv HISTORY.jsonl
"""
import csv
import datetime
import io
import json
import re
import sys

FORMULA_LEADS = ("=", "+", "-", "@", "\t", "\r", "'")


def fail(text):
    print(text)
    sys.exit(1)


def cell_text(cell):
    # A text that began like a formula carries one leading apostrophe more.
    return cell[1:] if cell.startswith("'") else cell


def main(csv_path, json_path):
    raw = open(csv_path, "rb").read()
    if not raw.startswith(b"\xef\xbb\xbf"):
        fail("no byte-order mark")
    rows = list(csv.reader(io.StringIO(raw[3:].decode("utf-8"), newline="")))
    records = [json.loads(line) for line in open(json_path, encoding="utf-8")]
    header, rows = rows[0], rows[1:]
    if header[0] != "local_time" or header[1:] != list(records[0].keys() if records else header[1:]):
        fail("header %r" % header)
    if len(rows) != len(records):
        fail("%d rows for %d records" % (len(rows), len(records)))
    for number, (row, record) in enumerate(zip(rows, records)):
        local = datetime.datetime.fromisoformat(row[0])
        utc = datetime.datetime.fromisoformat(record["time"].replace("Z", "+00:00"))
        if local.utcoffset() is None or local != utc:
            fail("record %d: local time %s is not %s" % (number, row[0], record["time"]))
        for name, cell in zip(header[1:], row[1:]):
            value = record[name]
            if value is None:
                shown = ""
            elif isinstance(value, bool):
                shown = "true" if value else "false"
            elif isinstance(value, int):
                shown = str(value)
            else:
                if cell.startswith(FORMULA_LEADS) and not cell.startswith("'"):
                    fail("record %d: %s %r is not made inert" % (number, name, cell))
                cell = cell_text(cell)
                # A byte that is not UTF-8 (a lone surrogate here) as the record escapes it.
                shown = re.sub("[\udc80-\udcff]", lambda m: "\\u%04x" % ord(m.group()), value)
            if cell != shown:
                fail("record %d: %s is %r in the CSV, %r in the JSON" % (number, name, cell, shown))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
