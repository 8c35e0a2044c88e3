#!/usr/bin/env python3
"""Checks the package's udev rule: its syntax, for systems whose udevadm has
no "verify", and what it does, which no udevadm shows without the device.

    check-udev-rule.py RULES_FILE SOURCE_ROOT [METAINFO]

Every line must parse as udev keys with operators that suit them. The rule is
then run, in a small model of udev's matching, against the events of a
dongle being plugged in: its USB device and its tty must be given to the user
at the seat and kept away from ModemManager, and the tty must set the chip's
latency timer to what the serial backend wants. Look-alikes (another FTDI
adapter, chips of another product or vendor ID that call themselves a
dongle) must get nothing. The product string and the latency are read from
the backend's sources, so the rule cannot drift from the code unnoticed.
With METAINFO, its modalias must name the same IDs.
"""

import fnmatch
import re
import sys
from pathlib import Path

VENDOR = "0403"
# See the rule's header: the dongle is taken to keep FTDI's default ID.
PRODUCT = "6001"

MATCH_ONLY = {"ACTION", "DEVPATH", "KERNEL", "KERNELS", "SUBSYSTEM", "SUBSYSTEMS",
              "DRIVER", "DRIVERS", "ATTRS", "TAGS", "TEST", "PROGRAM", "RESULT", "CONST"}
ASSIGN_ONLY = {"NAME", "SYMLINK", "OWNER", "GROUP", "MODE", "SECLABEL", "RUN",
               "LABEL", "GOTO", "IMPORT", "OPTIONS", "SYSCTL"}
EITHER = {"ATTR", "ENV", "TAG"}
NEEDS_NAME = {"ATTR", "ATTRS", "ENV", "TEST", "SYSCTL", "SECLABEL", "IMPORT", "CONST"}
TOKEN = re.compile(r'\s*([A-Z]+)(?:\{([^}]*)\})?\s*(==|!=|\+=|-=|:=|=)\s*"((?:[^"\\]|\\.)*)"\s*(?:,|$)')


def fail(message):
    print(f"udev rule: {message}", file=sys.stderr)
    sys.exit(1)


def parse(path):
    rules = []
    pending = ""
    for number, line in enumerate(path.read_text().splitlines(), 1):
        line = pending + line
        if line.endswith("\\"):
            pending = line[:-1]
            continue
        pending = ""
        text = line.strip()
        if not text or text.startswith("#"):
            continue
        keys = []
        at = 0
        while at < len(text):
            m = TOKEN.match(text, at)
            if not m or m.end() == at:
                fail(f"line {number}: cannot read from: {text[at:]!r}")
            key, name, op, value = m.groups()
            if key not in MATCH_ONLY | ASSIGN_ONLY | EITHER:
                fail(f"line {number}: unknown key {key}")
            if key in MATCH_ONLY and op not in ("==", "!="):
                fail(f"line {number}: {key} can only be matched, not given {op}")
            if key in ASSIGN_ONLY and op in ("==", "!="):
                fail(f"line {number}: {key} can only be assigned, not matched")
            if (key in NEEDS_NAME) != (name is not None):
                fail(f"line {number}: {key} {'needs' if key in NEEDS_NAME else 'takes no'} {{name}}")
            keys.append((key, name, op, value))
            at = m.end()
        rules.append((number, keys))
    return rules


def glob(value, pattern):
    return any(fnmatch.fnmatchcase(value or "", alt) for alt in pattern.split("|"))


def run(rules, event):
    """Applies the rules to one event; returns what they assigned."""
    device, parents = event["device"], event["parents"]
    chain = [device] + parents
    result = {"TAG": set(), "ENV": {}, "ATTR": {}}
    skip_to = None
    for number, keys in rules:
        if skip_to is not None:
            if any(k == "LABEL" and v == skip_to for k, _, _, v in keys):
                skip_to = None
            continue
        matched = True
        parent_keys = [(k, n, op, v) for k, n, op, v in keys if k in ("ATTRS", "KERNELS", "SUBSYSTEMS", "DRIVERS")]
        for key, name, op, value in keys:
            if op not in ("==", "!=") or key in ("ATTRS", "KERNELS", "SUBSYSTEMS", "DRIVERS"):
                continue
            if key in ("ATTR", "ENV"):
                actual = device[key].get(name) if key == "ATTR" else event["env"].get(name)
            elif key == "ACTION":
                actual = event["action"]
            else:
                actual = device.get(key)
            if glob(actual, value) != (op == "=="):
                matched = False
        if parent_keys and matched:
            # All parent keys must hold on one and the same device.
            def holds(dev):
                for key, name, op, value in parent_keys:
                    actual = dev["ATTR"].get(name) if key == "ATTRS" else dev.get(key[:-1])
                    if glob(actual, value) != (op == "=="):
                        return False
                return True
            matched = any(holds(dev) for dev in chain)
        if not matched:
            continue
        for key, name, op, value in keys:
            if key == "GOTO":
                skip_to = value
            elif op in ("==", "!="):
                continue
            elif key == "TAG":
                result["TAG"].add(value)
            elif key == "ENV":
                result["ENV"][name] = value
            elif key == "ATTR":
                result["ATTR"][name] = value
    if skip_to is not None:
        fail(f'GOTO="{skip_to}" has no LABEL after it')
    return result


def attribute_exists(event, name):
    # "device/x" is the attribute x of the event device's parent.
    dev, parents = event["device"], list(event["parents"])
    while name.startswith("device/"):
        if not parents:
            return False
        dev, parents, name = parents[0], parents[1:], name[len("device/"):]
    return name in dev["ATTR"]


def plug(vendor, product, product_string):
    usb = {"SUBSYSTEM": "usb", "KERNEL": "1-2", "DRIVER": "usb",
           "ATTR": {"idVendor": vendor, "idProduct": product, "product": product_string,
                    "manufacturer": "FTDI"}}
    interface = {"SUBSYSTEM": "usb", "KERNEL": "1-2:1.0", "DRIVER": "ftdi_sio",
                 "ATTR": {"bInterfaceNumber": "00"}}
    port = {"SUBSYSTEM": "usb-serial", "KERNEL": "ttyUSB0", "DRIVER": "ftdi_sio",
            "ATTR": {"latency_timer": "16", "port_number": "0"}}
    tty = {"SUBSYSTEM": "tty", "KERNEL": "ttyUSB0", "DRIVER": None, "ATTR": {"dev": "188:0"}}
    return {
        "usb": {"action": "add", "device": usb, "parents": [], "env": {"DEVTYPE": "usb_device"}},
        "tty": {"action": "add", "device": tty, "parents": [port, interface, usb], "env": {}},
    }


def main():
    if len(sys.argv) not in (3, 4):
        fail("usage: check-udev-rule.py RULES_FILE SOURCE_ROOT [METAINFO]")
    rules = parse(Path(sys.argv[1]))
    root = Path(sys.argv[2])

    name = re.search(r'dongleDescription\s*=\s*QByteArrayLiteral\("([^"]+)"\)',
                     (root / "usb/usbd.cpp").read_text())
    latency = re.search(r'timer\.write\("(\d+)"\)', (root / "usb/serialportdriver.cpp").read_text())
    if not name or not latency:
        fail("cannot find the dongle's product string or the latency the backend sets")
    name, latency = name.group(1), latency.group(1)

    dongle = plug(VENDOR, PRODUCT, name)
    for kind, event in dongle.items():
        got = run(rules, event)
        if "uaccess" not in got["TAG"]:
            fail(f"the dongle's {kind} device is not tagged uaccess")
        if got["ENV"].get("ID_MM_DEVICE_IGNORE") != "1":
            fail(f"the dongle's {kind} device is not hidden from ModemManager")
    got = run(rules, dongle["tty"])
    timers = {k: v for k, v in got["ATTR"].items() if k.split("/")[-1] == "latency_timer"}
    if not timers:
        fail("the dongle's latency timer is not set")
    for attr, value in timers.items():
        if not attribute_exists(dongle["tty"], attr):
            fail(f"ATTR{{{attr}}} does not reach the port's latency_timer")
        if value != latency:
            fail(f"latency timer set to {value} ms, the serial backend wants {latency} ms")

    for label, vendor, product, string in (
            ("another FTDI adapter", VENDOR, PRODUCT, "FT232R USB UART"),
            ("another FTDI chip with the dongle's name", VENDOR, "6015", name),
            ("another vendor's chip with the dongle's name", "10c4", PRODUCT, name)):
        for kind, event in plug(vendor, product, string).items():
            got = run(rules, event)
            if got["TAG"] or got["ENV"] or got["ATTR"]:
                fail(f"{label}: its {kind} device is matched too: {got}")
    for kind, event in dongle.items():
        event["action"] = "remove"
        if run(rules, event)["ATTR"]:
            fail(f"attributes written on the {kind} device's removal")

    if len(sys.argv) == 4:
        aliases = re.findall(r"<modalias>([^<]+)</modalias>", Path(sys.argv[3]).read_text())
        wanted = f"usb:v{VENDOR.upper()}p{PRODUCT.upper()}d*"
        if wanted not in aliases:
            fail(f"the metainfo offers {aliases}, not {wanted}")

    print(f'udev rule: "{name}" ({VENDOR}:{PRODUCT}) gets uaccess, ModemManager ignores it, '
          f"latency timer {latency} ms; other FTDI adapters and vendors are left alone")


if __name__ == "__main__":
    main()
