#!/usr/bin/env python3
"""Writes the hand-made inputs of fuzz_entry: the regression inputs (one per fault the target
must never see again, named after it) and the seeds the corpus grew from. The layout is the one
described at the top of fuzz_entry.cpp; it does not depend on the TWAIN ABI."""
import os
import struct
import sys

ROOT = os.path.dirname(os.path.abspath(__file__))

DG_CONTROL, DG_IMAGE = 1, 2
DAT_CAPABILITY, DAT_EVENT, DAT_IDENTITY, DAT_STATUS = 0x0001, 0x0002, 0x0003, 0x0008
DAT_KV_HARDWAREINFO = 0x8005
MSG_GET, MSG_PROCESSEVENT, MSG_XFERREADY = 0x0001, 0x0601, 0x0101
TWRC_SUCCESS, TWRC_FAILURE, TWRC_DSEVENT = 0, 1, 4
TWON_ARRAY, TWON_ENUMERATION, TWON_ONEVALUE, TWON_RANGE = 3, 4, 5, 6
TWTY_UINT16, TWTY_FIX32, TWTY_FRAME, TWTY_STR32, TWTY_STR255 = 4, 7, 8, 9, 12
ICAP_PIXELTYPE, CAP_SUPPORTEDCAPS, CAP_AUTHOR = 0x0101, 0x1005, 0x1000
ALLOC_NONE, ALLOC_SOURCE_MANAGER, ALLOC_FOREIGN = 0, 1, 2
WITH_HEADER = 0x8000  # block size field: add the container's header size

# Indices into kFields of fuzz_entry.cpp.
F_MANUFACTURER, F_TWMESSAGE, F_HW_PRODUCTNAME, F_HW_ROMVERSION = 1, 6, 14, 17


def u8(v):
    return struct.pack("<B", v)


def u16(v):
    return struct.pack("<H", v)


def u32(v):
    return struct.pack("<I", v)


def writes(items):
    out = u8(len(items))
    for field, data in items:
        out += u8(field) + u8(len(data)) + data
    return out


def container(alloc, size, cap, contype, itemtype, values=(0, 0, 0, 0, 0), items=b""):
    values = list(values) + [0] * (5 - len(values))
    return (u8(alloc) + u16(size) + u16(cap) + u16(contype) + u16(itemtype) + b"".join(u32(v) for v in values)
            + u16(len(items)) + items)


def call(dat, msg, rc=TWRC_SUCCESS, dg=DG_CONTROL, origin=None, data=(0, []), cont=None):
    """data: None for a null pointer, else (extra bytes past the structure, writes)."""
    out = u8(dg - 1 if dg in (DG_CONTROL, DG_IMAGE) else 3) + (b"" if dg in (DG_CONTROL, DG_IMAGE) else u32(dg))
    out += u8(0xFF) + u16(dat) + u8(0xFF) + u16(msg) + u8(0xFF) + u16(rc)
    out += u8(0) if origin is None else u8(1) + writes(origin)
    if data is None:
        out += u8(0)
    else:
        out += u8(1) + u16(data[0]) + writes(data[1])
    if dat == DAT_CAPABILITY and data is not None:
        out += cont if cont is not None else container(ALLOC_NONE, 0, 0, 0, 0)
    return out


def run(calls, state=4, tag=None):
    head = u8(1 if tag is not None else 0) + u8(state - 1)
    if tag is not None:
        head += tag.ljust(31, b"\0")[:31]
    return head + b"".join(calls)


def str255_items(count, length):
    return b"".join((bytes([0x61 + i % 26]) * length).ljust(256, b"\0") for i in range(count))


REGRESSIONS = {
    # Container reads bounded by the block.
    "enumeration-in-empty-handle": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, 0, ICAP_PIXELTYPE, TWON_ENUMERATION, TWTY_UINT16, (3, 2, 2)))]),
    "enumeration-in-empty-source-manager-handle": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_SOURCE_MANAGER, 0, ICAP_PIXELTYPE, TWON_ENUMERATION, TWTY_UINT16, (3, 2, 2)))]),
    "array-claiming-all-items-holding-two": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, WITH_HEADER | 4, CAP_SUPPORTEDCAPS, TWON_ARRAY, TWTY_UINT16, (0xFFFFFFFF,),
        u16(0x1005) + u16(0x0101)))]),
    "array-claiming-all-items-holding-two-source-manager": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_SOURCE_MANAGER, WITH_HEADER | 4, ICAP_PIXELTYPE, TWON_ARRAY, TWTY_UINT16, (0xFFFFFFFF,),
        u16(0) + u16(1)))]),
    "onevalue-str255-in-onevalue-block": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, WITH_HEADER, CAP_AUTHOR, TWON_ONEVALUE, TWTY_STR255, (0x64636261,)))]),
    "onevalue-frame-in-onevalue-block": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_SOURCE_MANAGER, WITH_HEADER, 0x1151, TWON_ONEVALUE, TWTY_FRAME, (0x00010001,)))]),
    "range-of-frames-in-range-block": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, WITH_HEADER, 0x1151, TWON_RANGE, TWTY_FRAME, (1, 2, 3, 4, 5)))]),
    "range-of-strings-in-range-block": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_SOURCE_MANAGER, WITH_HEADER, CAP_AUTHOR, TWON_RANGE, TWTY_STR255,
        (0x61616161, 0x62626262, 0x63636363, 0x64646464, 0x65656565)))]),
    # MSG_PROCESSEVENT on another DAT never reads the data as a TW_EVENT.
    "processevent-on-status-in-status-block": run([call(DAT_STATUS, MSG_PROCESSEVENT, TWRC_DSEVENT)], state=5),
    # Strings from structures and arguments are escaped.
    "identity-manufacturer-with-line-ends": run([call(DAT_IDENTITY, MSG_GET, data=(0, [
        (F_MANUFACTURER, b"Acme\r\n[00099] [APP] forged\n")]))]),
    "str32-item-with-line-ends": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, WITH_HEADER | 40, CAP_AUTHOR, TWON_ONEVALUE, TWTY_STR32, (0x0a0d6261,), b"\tc\x01d\x7f"))]),
    "vendor-strings-with-line-ends": run([call(DAT_KV_HARDWAREINFO, MSG_GET, data=(0, [
        (F_HW_PRODUCTNAME, b"Corvale\r\nfake line"), (F_HW_ROMVERSION, b"1.0\n")]))]),
    "caller-tag-with-line-end": run([call(DAT_STATUS, MSG_GET)], tag=b"AP\nP\r"),
    # The cut notice is a whole line, and a cut never splits a line end.
    "long-list-cut": run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_FOREIGN, WITH_HEADER | 30 * 256, CAP_SUPPORTEDCAPS, TWON_ENUMERATION, TWTY_STR255, (30, 0, 0),
        str255_items(30, 200))), call(DAT_STATUS, MSG_GET)]),
}

# Lists of STR255 items whose last item's length moves the cut through the text byte by byte, so
# that some cut falls between a "\r" and its "\n" in either ABI.
for last in range(1, 7):
    items = str255_items(24, 200)[:-256] + (b"z" * (150 + last)).ljust(256, b"\0")
    REGRESSIONS["cut-moving-%d" % last] = run([call(DAT_CAPABILITY, MSG_GET, cont=container(
        ALLOC_SOURCE_MANAGER, WITH_HEADER | len(items), CAP_SUPPORTEDCAPS, TWON_ENUMERATION, TWTY_STR255,
        (24, 0, 0), items)), call(DAT_STATUS, MSG_GET)])


def seeds():
    out = {}
    dats = [0x0000, 0x0001, 0x0002, 0x0003, 0x0004, 0x0005, 0x0006, 0x0007, 0x0008, 0x0009, 0x000A, 0x000C,
            0x000D, 0x000E, 0x000F, 0x0010, 0x0012, 0x0013, 0x0014, 0x0403, 0x0101, 0x0102, 0x0103, 0x0104,
            0x0106, 0x0107, 0x0108, 0x0109, 0x010A, 0x010B] + list(range(0x8001, 0x800C))
    for dat in dats:
        if dat == DAT_CAPABILITY:
            continue
        dg = DG_IMAGE if 0x0101 <= dat <= 0x010B else DG_CONTROL
        out["dat-%04x" % dat] = run([call(dat, MSG_GET, dg=dg, data=(0, []))])
    for contype in (TWON_ONEVALUE, TWON_RANGE, TWON_ENUMERATION, TWON_ARRAY):
        for itemtype in range(16):
            width = {0: 1, 1: 2, 2: 4, 3: 1, 4: 2, 5: 4, 6: 2, 7: 4, 8: 16, 9: 34, 10: 66, 11: 130, 12: 256,
                     13: 1026, 14: 512, 15: 8}[itemtype]
            items = bytes((i * 7 + 1) % 256 for i in range(3 * width))
            out["cap-%d-%d" % (contype, itemtype)] = run([call(DAT_CAPABILITY, MSG_GET, cont=container(
                ALLOC_SOURCE_MANAGER if itemtype % 2 else ALLOC_FOREIGN, WITH_HEADER | len(items),
                ICAP_PIXELTYPE if itemtype == TWTY_UINT16 else 0x1100 + itemtype,
                contype, itemtype, (3, 1, 0, 1, 2), items))])
    out["event-xferready"] = run([call(DAT_EVENT, MSG_PROCESSEVENT, TWRC_DSEVENT, data=(0, [(F_TWMESSAGE, u16(MSG_XFERREADY))]))], state=5)
    out["failure-origin"] = run([call(0x0004, 0x0301, TWRC_FAILURE, origin=[(F_MANUFACTURER, b"Acme")])], state=2)
    return out


def write(directory, inputs):
    os.makedirs(directory, exist_ok=True)
    for name, data in inputs.items():
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    what = sys.argv[1] if len(sys.argv) > 1 else "regressions"
    if what == "regressions":
        write(os.path.join(ROOT, "regressions", "fuzz_entry"), REGRESSIONS)
    elif what == "seeds":
        write(sys.argv[2], seeds())
    else:
        sys.exit("usage: make_inputs.py regressions | seeds DIR")
