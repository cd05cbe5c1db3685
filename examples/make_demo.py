#!/usr/bin/env python3
"""Writes demo.fwx: 16 KiB of payload in 1024-byte blocks, the same bytes on every run."""
import sys

BLOCKS = 16          # blocks in the image
PAYLOAD = 1024       # payload bytes per block
PER_LINE = 16        # values per line of text


def image():
    data = bytearray()
    for block in range(BLOCKS):
        data += PAYLOAD.to_bytes(2, "big")
        data += bytes((block * 37 + i * 13 + (i >> 8)) & 0xFF for i in range(PAYLOAD))
    return data


def text(data):
    lines = []
    for start in range(0, len(data), PER_LINE):
        lines.append(" ".join(f"{b:02X}" for b in data[start:start + PER_LINE]))
    return "\r\n".join(lines) + "\r\n"  # Windows line ends, as the files come from there


if __name__ == "__main__":
    path = sys.argv[1] if len(sys.argv) > 1 else "demo.fwx"
    with open(path, "w", newline="") as f:
        f.write(text(image()))
