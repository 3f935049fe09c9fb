#!/usr/bin/env python3
"""gen_apns.py on a small serviceproviders.xml: which APN each network id
gets, how operator codes are formed, and that hand-written rows win."""

import os
import subprocess
import sys
import tempfile

GEN = os.path.join(os.environ["ROUTER_SRC"], "..", "data", "gen_apns.py")

XML = """<?xml version="1.0"?>
<serviceproviders format="2.0">
<country code="ru">
  <provider>
    <name>Two-digit MNC, leading zero</name>
    <gsm>
      <network-id mcc="250" mnc="01"/>
      <apn value="mms.example"><usage type="mms"/></apn>
      <apn value="internet.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
  <provider>
    <name>Several internet APNs: the first wins, WAP never</name>
    <gsm>
      <network-id mcc="250" mnc="03"/>
      <network-id mcc="250" mnc="04"/>
      <apn value="wap.example"><usage type="wap"/></apn>
      <apn value="first.example"><usage type="internet"/></apn>
      <apn value="second.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
  <provider>
    <name>Hand row wins</name>
    <gsm>
      <network-id mcc="250" mnc="99"/>
      <apn value="from.database"><usage type="internet"/></apn>
    </gsm>
  </provider>
  <provider>
    <name>Only MMS</name>
    <gsm><network-id mcc="250" mnc="05"/><apn value="mms"><usage type="mms"/></apn></gsm>
  </provider>
  <provider>
    <name>CDMA only</name>
    <cdma><sid value="1"/></cdma>
  </provider>
  <provider>
    <name>APNs the file cannot hold, then a good one without usage</name>
    <gsm>
      <network-id mcc="250" mnc="06"/>
      <apn value="semi;colon"><usage type="internet"/></apn>
      <apn value="with blank"><usage type="internet"/></apn>
      <apn value="%s"><usage type="internet"/></apn>
      <apn value=""><usage type="internet"/></apn>
      <apn value="plain.example"/>
    </gsm>
  </provider>
  <provider>
    <name>Bad network ids</name>
    <gsm>
      <network-id mcc="25" mnc="01"/>
      <network-id mcc="250" mnc="1"/>
      <network-id mcc="250" mnc="0001"/>
      <network-id mcc="2x0" mnc="07"/>
      <apn value="bad.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
</country>
<country code="us">
  <provider>
    <name>Three-digit MNC, combined usage</name>
    <gsm>
      <network-id mcc="310" mnc="410"/>
      <network-id mcc="310" mnc="030"/>
      <apn value="PHONE"><usage type="mms-internet-hipri"/></apn>
    </gsm>
  </provider>
  <provider>
    <name>Later provider on the same network</name>
    <gsm>
      <network-id mcc="310" mnc="410"/>
      <apn value="mvno.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
  <provider primary="false">
    <name>Not primary, earlier in the file</name>
    <gsm>
      <network-id mcc="310" mnc="260"/>
      <apn value="secondary.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
  <provider primary="true">
    <name>Primary</name>
    <gsm>
      <network-id mcc="310" mnc="260"/>
      <apn value="primary.example"><usage type="internet"/></apn>
    </gsm>
  </provider>
</country>
</serviceproviders>
""" % ("x" * 64)

OVERRIDES = """# hand-written
25099;by.hand
 25011 ; spaced.by.hand
"""

passed = failed = 0


def check(what, cond, detail=""):
    global passed, failed
    if cond:
        passed += 1
    else:
        failed += 1
        print(f"FAIL {what} {detail}", file=sys.stderr)


with tempfile.TemporaryDirectory() as tmp:
    xml = os.path.join(tmp, "serviceproviders.xml")
    over = os.path.join(tmp, "apns.override.conf")
    out = os.path.join(tmp, "apns.conf")
    with open(xml, "w") as f:
        f.write(XML)
    with open(over, "w") as f:
        f.write(OVERRIDES)
    run = subprocess.run([sys.executable, GEN, xml, over, out], capture_output=True, text=True)
    check("generator status", run.returncode == 0, run.stderr)
    with open(out) as f:
        text = f.read()
    rows = [line for line in text.splitlines() if line and not line.startswith("#")]

    check("every row, in order", rows == [
        "25099;by.hand",
        " 25011 ; spaced.by.hand",
        "25001;internet.example",
        "25003;first.example",
        "25004;first.example",
        "25006;plain.example",
        "310030;PHONE",
        "310260;primary.example",
        "310410;PHONE",
    ], "\n" + "\n".join(rows))

    # The database alone when no hand row is wanted; hand rows alone without it.
    with open(over, "w") as f:
        f.write("")
    subprocess.run([sys.executable, GEN, xml, over, out], check=True)
    with open(out) as f:
        check("database row kept without an override", "25099;from.database\n" in f.read())
    with open(over, "w") as f:
        f.write("25001;only\n")
    subprocess.run([sys.executable, GEN, "-", over, out], check=True)
    with open(out) as f:
        rows = [line for line in f.read().splitlines() if line and not line.startswith("#")]
    check("no database: hand rows only", rows == ["25001;only"], str(rows))

    # A broken database fails the build instead of shipping a short file.
    with open(xml, "w") as f:
        f.write("<serviceproviders><country>")
    with open(out, "w") as f:
        f.write("old\n")
    run = subprocess.run([sys.executable, GEN, xml, over, out], capture_output=True, text=True)
    check("broken XML fails", run.returncode != 0)
    with open(out) as f:
        check("broken XML leaves the old output", f.read() == "old\n")

print(f"{passed} passed, {failed} failed")
sys.exit(1 if failed else 0)
