#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into fuzz/corpus/<target>/.

Port-style inputs are a few leading bytes for the harness, then the far
side's chunks: a delay byte (100 ms units), a two-byte length, the bytes;
the first chunk comes at once, each next one after a write (see
fuzz/harness/wire_script.h)."""

import pathlib
import struct

HERE = pathlib.Path(__file__).resolve().parent / "corpus"

SOH, STX, EOT, ACK, NAK, CAN = 0x01, 0x02, 0x04, 0x06, 0x15, 0x18


def crc16_xmodem(data):
    crc = 0
    for byte in data:
        crc ^= byte << 8
        for _ in range(8):
            crc = ((crc << 1) ^ 0x1021) if crc & 0x8000 else crc << 1
            crc &= 0xFFFF
    return crc


def block(number, data, size=128, crc=True):
    field = bytes(data) + b"\x1a" * (size - len(data))
    check = struct.pack(">H", crc16_xmodem(field)) if crc else bytes([sum(field) & 0xFF])
    return bytes([SOH if size == 128 else STX, number & 0xFF, ~number & 0xFF]) + field + check


def header(name, size):
    fields = name.encode() + b"\0" + str(size).encode()
    return block(0, fields + b"\0" * (128 - len(fields)))


def chunk(data=b"", delay=0):
    return bytes([delay]) + struct.pack(">H", len(data)) + bytes(data)


def script(*chunks):
    return b"".join(chunk(*c) if isinstance(c, tuple) else chunk(c) for c in chunks)


IMAGE = bytes(i % 251 for i in range(300))


def receiver():
    ymodem_g_blocks = block(1, IMAGE, 1024) + bytes([EOT])
    return {
        # C -> block 1, ACK -> block 2, ACK -> block 3, ACK -> EOT.
        "xmodem_crc": b"\x00" + script(b"", block(1, IMAGE[:128]), block(2, IMAGE[128:256]),
                                       block(3, IMAGE[256:]), bytes([EOT])),
        "xmodem_checksum": b"\x01" + script(b"", block(1, IMAGE[:128], crc=False), bytes([EOT])),
        "xmodem_resend": b"\x00" + script(b"", block(1, IMAGE[:100])[:60], block(1, IMAGE[:128]),
                                          bytes([EOT])),
        # C -> block 0, ACK, C -> 1K block, ACK -> EOT, ACK, C -> empty block 0.
        "ymodem_batch": b"\x02" + script(b"", header("fw.bin", 300), b"", block(1, IMAGE, 1024),
                                         bytes([EOT]), b"", block(0, bytes(128))),
        "ymodem_cancel": b"\x02" + script(b"", header("fw.bin", 300), b"", bytes([CAN, CAN])),
        # G -> block 0, G -> blocks and EOT together, ACK -> empty block 0.
        "ymodem_g": b"\x03" + script(b"", header("fw.bin", 300), ymodem_g_blocks, b"",
                                     block(0, bytes(128))),
    }


def sender():
    acks = [bytes([ACK])] * 24
    return {
        # mode, length (x37), source chunk ((n+1) x 4), then the receiver's
        # answers: the start character comes after a pause, as a real one.
        "xmodem_crc": bytes([0, 8, 255]) + script((b"C", 1), *acks),
        "xmodem_checksum": bytes([0, 3, 255]) + script((bytes([NAK]), 1), *acks),
        "xmodem_1k": bytes([1, 40, 255]) + script((b"C", 1), *acks),
        "xmodem_nak_then_ack": bytes([0, 4, 31]) + script((b"C", 1), bytes([NAK]), *acks),
        "ymodem": bytes([2, 10, 255]) + script((b"C", 1), b"\x06C", *acks[:3], bytes([NAK]),
                                              b"\x06C", b"\x06"),
        "ymodem_g": bytes([2, 30, 255]) + script((b"G", 1), (b"G", 1), b"", b"", (b"\x06G", 1),
                                                 b"\x06"),
        "cancelled": bytes([2, 10, 255]) + script((b"C", 1), bytes([CAN]), bytes([CAN])),
    }


def command_line():
    lines = [
        ["-sy", "-p3", "-b115200", "fw.bin"],
        ["-sk", "-p1", "-t10", "image.bin"],
        ["-rc", "-p2", "received.bin"],
        ["-rg", "-t5"],
        ["-u", "-s", "fw.bin", "remote.bin"],
        ["-s", "-lflog.txt", "-lt20", "-lxBOOT DONE", "-le", "fw.bin"],
        ["-h"],
        ['"fw name.bin"', "-p-1", "-b 9600"],
        ["-q"],
    ]
    return {f"line{i}": b"\0".join(a.encode() for a in args) for i, args in enumerate(lines)}


def header_blocks():
    return {
        "name_and_size": (b"fw.bin\0" + b"300").ljust(128, b"\0"),
        "more_fields": (b"dir/fw.bin\0" + b"1234 13414701 100644").ljust(128, b"\0"),
        "closing": bytes(128),
        "no_terminator": b"x" * 128,
        "big_size": (b"a\0" + b"4294967295").ljust(1024, b"\0"),
    }


def handshake():
    def name(text):
        return bytes([len(text)]) + text.encode()
    return {
        # COM: the packet, then '1' prompts until 'C'.
        "com_ready": b"\x00" + name("fw.bin") + script(b"", b"", b"", b"C"),
        "com_noise": b"\x00" + name("ZQT410_DG.bin") + script(b"", b"xy\0", (b"zzC", 5)),
        "com_taxi": b"\x00" + name("ZQT410_TAXI_SK.bin") + script(b"", b"C"),
        "com_iap": b"\x00" + name("iap_boot.bin") + script(b"", b"", (b"C", 20)),
        "usb": b"\x01" + name("ZQT410_IAP_DG.bin") + script(b""),
    }


def mcu_bootloader():
    ack = bytes([0x79])
    get_id = bytes([0x79, 0x01, 0x04, 0x10, 0x79])
    write_block = [ack, ack, ack]

    def image(blocks, go=True):
        return [get_id] + write_block * blocks + ([ack, ack] if go else [])

    app = image(3) + image(2)
    loader = [ack, ack, ack] + write_block + image(2, go=False) + image(2)

    def fields(index):
        return bytes([index, 1]) + b"3" + bytes([6]) + b"115200"
    return {
        "application": fields(0) + script(b"", *app),
        "loader": fields(1) + script(b"", *loader),
        "nack_then_ack": fields(0) + script(b"", get_id, bytes([0x1F]), *app[1:]),
        "silent": fields(0) + script(b""),
    }


def usb_download():
    acks = [bytes([ACK])] * 24
    return {
        "size_announced": b"\x00" + script(b"", b"", *acks),
        "zqt410": b"\x02" + script(b"", b"", *acks),
        "vivi_run": b"\x03" + script(b"", *acks),
        "root_finish": bytes([0x85]) + script(b"", *acks),
        "silent": b"\x00" + script(b""),
    }


def main():
    targets = {
        "receiver": receiver(),
        "sender": sender(),
        "command_line": command_line(),
        "header": header_blocks(),
        "handshake": handshake(),
        "mcu_bootloader": mcu_bootloader(),
        "usb_download": usb_download(),
    }
    for target, seeds in targets.items():
        folder = HERE / target
        folder.mkdir(parents=True, exist_ok=True)
        for name, data in seeds.items():
            (folder / name).write_bytes(data)


if __name__ == "__main__":
    main()
