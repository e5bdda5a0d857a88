#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Writes the fuzzers' seed corpora (fuzz/corpus/<target>/). Run from the project root; needs
msgfmt for the catalog seeds."""
import os
import struct
import subprocess
import tempfile

ROOT = os.path.join("fuzz", "corpus")


def checksum(message):
    x = 0
    for b in message:
        x ^= b
    return bytes(message) + bytes([0xFF - x])


def write(target, name, data):
    folder = os.path.join(ROOT, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def receive():
    start = [[0x83], [0xBB, 0x17, 0x00], [0xBF, 0x00, 0x50], [0xBF, 0x00, 0x0C], [0xBB, 0x00, 0x00],
             [0xBA, 0x02, 0x02], [0xBB, 0x00, 0x08]]
    echo = b"".join(checksum(m) for m in start)
    slot = checksum([0xE7, 0x0E, 0x02, 0x33, 0x0C, 0, 0, 7, 0, 0, 0, 0, 0])
    reports = b"".join(checksum([0xB2, i & 0x7F, 0x40 | (0x10 if i % 2 else 0)]) for i in range(16))
    peer = bytes.fromhex("E50F00494B1106057F7F00000A444B")
    # The leading byte of each seed is read as a chunk length by the fuzzer.
    write("receive", "session", b"\x10" + echo + slot + reports + peer)
    write("receive", "ff-and-cr", b"\x02\xff\x83\x7c\x0d\xb2\x04\x31\x78")
    write("receive", "counted-zero", b"\x03\xe7\x00\x83\x7c\xe5\x01")


def catalog():
    po = ('msgid ""\nmsgstr "Content-Type: text/plain; charset=UTF-8\\n"\n\n'
          'msgid "Cancel"\nmsgstr "Annuleren"\n\nmsgid "Port"\nmsgstr "Poort"\n\n'
          'msgid "a\\nb"\nmsgstr "c\\nd"\n')
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "d.po")
        with open(source, "w") as f:
            f.write(po)
        for name, options in (("little", []), ("big", ["--endianness=big"]), ("no-hash", ["--no-hash"])):
            target = os.path.join(tmp, name + ".mo")
            subprocess.run(["msgfmt", *options, "-o", target, source], check=True)
            with open(target, "rb") as f:
                write("catalog", name, f.read())
    write("catalog", "empty", struct.pack("<7I", 0x950412DE, 0, 0, 28, 28, 0, 28))


def embedded():
    name = b"locale/nl/LC_MESSAGES/default.mo"
    body = b"\x00" * 16 + b"catalog bytes"
    first = 8 + len(body)
    second = first + 24 + len(name)
    data = struct.pack("<q", first) + body
    data += struct.pack("<qqq", second, 8, 13) + name
    data += struct.pack("<q", 0)
    write("embedded", "one-record", data)
    write("embedded", "backwards", struct.pack("<q", 8) + struct.pack("<qqq", 8, 0, 0) + b"x")


def lbserver():
    # The leading byte of each seed is read as a chunk length by the fuzzer.
    write("lbserver", "session", b"\x10VERSION loconet-sim\r\nRECEIVE 83 7C\r\nSENT OK\r\n"
          b"TIMESTAMP 1234\nRECEIVE e7 0e 17 03 00 00 00 07 00 00 00 00 00 05\n\rSENT ERROR no echo\r\n")
    write("lbserver", "broken", b"\x07RECEIVE 8G\r\nRECEIVE\r\nRECEIVE 123 4\nERROR CHECKSUM 83 7D\r\nBREAK\r\n"
          + b"Z" * 600 + b"\r\n\x83\x7c\xb0\x10")


def telnet():
    iac, sb, se = 255, 250, 240
    greeting = bytes([iac, 251, 3, iac, 253, 3, iac, 251, 1, iac, 254, 1, iac, 253, 0, iac, 251, 0, iac, 253, 44])
    answers = bytes([iac, sb, 44, 101, 0, 0, 0xE1, 0, iac, se, iac, sb, 44, 107, 0x11, iac, se])
    write("telnet", "ser2net", b"\x09" + greeting + answers + bytes([0x83, iac, iac, 0x7C]))
    write("telnet", "cut", bytes([3, iac, sb, 44, 101, iac, iac, 0, iac, 253, iac, 250, 99, iac, 251, 24, 13, 0, 13, 10]))


if __name__ == "__main__":
    receive()
    catalog()
    lbserver()
    telnet()
    embedded()
