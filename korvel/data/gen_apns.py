#!/usr/bin/env python3
"""Builds korvel's APN file (/usr/share/korvel/apns.conf) from the
mobile-broadband-provider-info database (serviceproviders.xml).

usage: gen_apns.py SERVICEPROVIDERS_XML OVERRIDES OUTPUT
       (SERVICEPROVIDERS_XML "-": the hand-written rows alone)

One line "<operator code>;<APN>" per GSM network id of the database: the
operator code is the MCC followed by the MNC with its own length (2 or 3
digits, leading zeros kept), as ModemManager reports it for the SIM
("25001", "310410"). The APN is the network's internet APN:

  - providers marked primary="true" come first, unmarked ones next, those
    marked primary="false" last; among equals the first in the file;
  - of a provider's APNs, one whose usage is exactly "internet" is taken
    first, then one whose usage includes internet ("mms-internet-hipri"),
    then one without any usage; MMS-, WAP- or IMS-only APNs never;
  - an APN that the file format cannot hold (empty, longer than 63
    characters, with ";" or blanks) is passed over.

The hand-written rows of OVERRIDES come first, unchanged, so they win (the
program takes the first line of a code); generated rows for their codes are
left out. Generated rows follow, sorted by code.
"""

import os
import re
import sys
import xml.etree.ElementTree as ET

APN_MAX = 63  # "%63[^;]"
CODE_MAX = 31  # "%31[^;]"
APN_OK = re.compile(r"^[\x21-\x3a\x3c-\x7e]+$")  # printable, no blank, no ";"


def usage_rank(apn):
    """0: internet, 1: a usage that includes internet, 2: no usage given,
    None: not an internet APN."""
    kinds = [u.get("type", "") for u in apn.findall("usage")]
    if not kinds:
        return 2
    if "internet" in kinds:
        return 0
    if any("internet" in k.split("-") for k in kinds):
        return 1
    return None


def internet_apn(gsm):
    best = None
    for order, apn in enumerate(gsm.findall("apn")):
        value = (apn.get("value") or "").strip()
        rank = usage_rank(apn)
        if rank is None or not value or len(value) > APN_MAX or not APN_OK.match(value):
            continue
        if best is None or (rank, order) < best[0]:
            best = ((rank, order), value)
    return best[1] if best else None


def provider_rank(provider):
    return {"true": 0, "false": 2}.get(provider.get("primary", ""), 1)


def generate(xml_path):
    """{code: apn} of every network id that has an internet APN."""
    root = ET.parse(xml_path).getroot()
    chosen = {}  # code -> ((provider rank, file order), apn)
    for order, provider in enumerate(root.iter("provider")):
        gsm = provider.find("gsm")
        if gsm is None:
            continue
        apn = internet_apn(gsm)
        if apn is None:
            continue
        key = (provider_rank(provider), order)
        for net in gsm.findall("network-id"):
            mcc, mnc = (net.get("mcc") or "").strip(), (net.get("mnc") or "").strip()
            if not re.fullmatch(r"\d{3}", mcc) or not re.fullmatch(r"\d{2,3}", mnc):
                continue
            code = mcc + mnc
            if code not in chosen or key < chosen[code][0]:
                chosen[code] = (key, apn)
    return {code: apn for code, (_, apn) in chosen.items()}


def override_codes(lines):
    """Operator codes of the hand-written rows, read as korvel reads them."""
    codes = set()
    for line in lines:
        line = line.rstrip("\r\n")
        if not line or line.startswith("#"):
            continue
        fields = line.split(";")
        if len(fields) >= 2 and fields[0] and fields[1]:
            codes.add(fields[0][:CODE_MAX].strip(" \t\n\v\f\r"))
    return codes


def main(argv):
    if len(argv) != 4:
        sys.stderr.write("usage: gen_apns.py SERVICEPROVIDERS_XML OVERRIDES OUTPUT\n")
        return 2
    xml_path, overrides_path, out_path = argv[1:]
    with open(overrides_path, encoding="utf-8") as f:
        overrides = f.read().splitlines()
    generated = generate(xml_path) if xml_path != "-" else {}
    taken = override_codes(overrides)
    rows = sorted((c, a) for c, a in generated.items() if c not in taken)
    with open(out_path + ".tmp", "w", encoding="utf-8") as out:
        out.write("# korvel access point names: operator code (MCC and MNC of the SIM);APN\n")
        out.write("# Hand-written rows (they win), then the internet APN of every network\n")
        out.write("# of mobile-broadband-provider-info.\n")
        for line in overrides:
            if line.startswith("#") or not line.strip():
                continue
            out.write(line + "\n")
        out.write("# generated\n")
        for code, apn in rows:
            out.write(f"{code};{apn}\n")
    os.replace(out_path + ".tmp", out_path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
