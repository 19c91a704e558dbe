#!/usr/bin/env python3
"""Writes the seed files of the log_reader, profile and capisim_frames harnesses."""
import os
import struct

here = os.path.dirname(os.path.abspath(__file__))


def put(folder, name, data):
    os.makedirs(os.path.join(here, folder), exist_ok=True)
    with open(os.path.join(here, folder, name), "wb") as f:
        f.write(data)


# log_reader: the first byte picks the piece and block sizes; the rest is a log.
call = b"12-07-2026 10:00:01\t0301234567\t030999\tAnrufer\tAnrufer hat aufgelegt"
put("log_reader", "markers_and_calls", b"\x05#  12-07-2026 - 10:00:00   Start\r\n" + call + b"\r\n"
    + b"#  12-07-2026 - 11:00:00   Ende\r\n")
put("log_reader", "leer_short", b"\x21kurz\r\n\"in, quotes\"\tx\r\nplain,comma\n")
put("log_reader", "bom_lf_cr", b"\x02\xef\xbb\xbf" + call + b"\n" + call + b"\rlast")
put("log_reader", "cp1252", b"\x40M\xfcller\tK\xf6ln\t\x80\t\x81\t\x9f\r\n\xc3\xa4\tvalid\r\n")
put("log_reader", "fields_ff", b"\x07a\xffb,c\xff\"d\"\xff\te\xff\r\nf")

# profile: two bytes give the section and key lengths, then section, key and the file.
ini = b"[Allgemein]\r\nIniDatei = other\r\n; comment\r\nTon=\"1\"\r\n\r\n[Allgemein]\nTon=2\n"
put("profile", "sections", bytes([9, 3]) + b"Allgemein" + b"Ton" + ini)
put("profile", "inidatei", bytes([9, 8]) + b"AllgemeinIniDatei" + ini)
put("profile", "long_value", bytes([1, 1]) + b"sk" + b"[s]\nk=" + b"\xc3\xa4" * 200 + b"\n")
put("profile", "no_section", bytes([0, 1]) + b"k" + b"k=1\n[\nk\n[x\nk=2")
put("profile", "path", bytes([4, 7]) + b"/tmpdir/a.b" + b"")


def frame(payload):
    return b"\x80" + struct.pack("<H", len(payload)) + payload


# capisim_frames: the first byte picks the piece size; the rest is the stream.
register = bytes(11) + b"\x00" + bytes(8)
register = b"\x14\x00\x01\x00\x20\x80\x00\x00" + register[8:]
profile = b"\x10\x00\x01\x00\x20\x80\x00\x00\x00\x00\x00\x02\x00\x00\x01\x00"
connect = (b"\x00\x00\x01\x00\x02\x82\x05\x00\x01\x01\x00\x00\x01\x00"
           b"\x04\x81123\x05\x21\x80456" + bytes(7))
connect = struct.pack("<H", len(connect)) + connect[2:]
disconnect = b"\x0e\x00\x01\x00\x04\x82\x06\x00\x01\x01\x00\x00\x90\x34"
put("capisim_frames", "register_profile", b"\x03" + frame(register) + frame(profile))
put("capisim_frames", "connect_disconnect", b"\x01" + frame(connect) + frame(disconnect))
put("capisim_frames", "short_and_partial", b"\x10" + frame(b"\x01\x02") + b"\x80\x40")
put("capisim_frames", "bad_type", b"\x02" + frame(b"") + b"\x7f\x00\x00")
put("capisim_frames", "too_long", b"\x05\x80\x01\x10" + bytes(8))

# call_monitor: the first byte picks the piece size (low six bits) and the line limit (high
# two bits: 0 the program's own, else 24, 79 or 81); the rest is what the router sends.
put("call_monitor", "answered_and_hung_up", b"\x05"
    b"07.12.26 14:05:09;RING;0;0301234567;5551234;SIP0;\r\n"
    b"07.12.26 14:05:12;CONNECT;0;10;0301234567;\r\n"
    b"07.12.26 14:05:40;DISCONNECT;0;28;\r\n"
    b"07.12.26 14:06:00;RING;1;;5551234;SIP0;\n07.12.26 14:06:09;DISCONNECT;1;0;\n")
put("call_monitor", "overlap_and_outgoing", b"\x3f"
    b"d;RING;0;030;555;SIP0;\nd;RING;1;040;556;SIP1;\nd;RING;0;050;555\n"
    b"d;CALL;2;11;555;0170;SIP1;\nd;CONNECT;2;11;0170;\nd;DISCONNECT;1;5\n"
    b"d;DISCONNECT;2;9;\nd;DISCONNECT;7;1;\n")
put("call_monitor", "garbage", b"\x00"
    b"\xff\xfe;RING;;\n;;;;\nd;HOLD;0;\nd;RING;99999999999;1;2;\n\x00\x01\r\r\n"
    b"d;RING;0;#0,3\"\t\x7f;5\x1b[1m;\nd;CONNECT;0;<b>;\n")
# A line over the limit of 81, then one under it.
put("call_monitor", "long_line", b"\xff" + b"x" * 200 + b"\r\nd;RING;0;030;555;SIP0;\r\n")
