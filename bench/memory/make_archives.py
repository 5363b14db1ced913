"""Writes the archives whose extraction peak memory is measured, into the
folder given: bomb.zip (100 MiB of zeros deflated into about 100 KB, the
directory claiming 1 KB), big-stored.zip (one stored entry of 2 GiB of
zeros, written sparsely) and big-deflated.zip (the same 2 GiB deflated,
written as a stream).

usage: make_archives.py FOLDER
"""
import os
import struct
import sys
import zlib

MIB = 1 << 20


def local(name, method, crc, csize, usize):
    return struct.pack("<IHHHHHIIIHH", 0x04034b50, 20, 0, method, 0, 0x5821, crc, csize, usize,
                       len(name), 0) + name


def central(name, method, crc, csize, usize, offset):
    return struct.pack("<IHHHHHHIIIHHHHHII", 0x02014b50, 20, 20, 0, method, 0, 0x5821, crc, csize,
                       usize, len(name), 0, 0, 0, 0, 0, offset) + name


def end(size, offset):
    return struct.pack("<IHHHHIIH", 0x06054b50, 0, 0, 1, 1, size, offset, 0)


def zeros_crc(size):
    block, crc = bytes(16 * MIB), 0
    for _ in range(size // len(block)):
        crc = zlib.crc32(block, crc)
    return crc


def deflated_zeros(size, level):
    block = bytes(16 * MIB)
    c = zlib.compressobj(level, zlib.DEFLATED, -15)
    return b"".join(c.compress(block) for _ in range(size // len(block))) + c.flush()


def write(path, name, method, data_size, claimed_size, crc, data=None):
    head = local(name, method, crc, data_size, claimed_size)
    cd = central(name, method, crc, data_size, claimed_size, 0)
    with open(path, "wb") as f:
        f.write(head)
        if data is None:
            f.seek(len(head) + data_size)  # the zeros as a hole
        else:
            f.write(data)
        f.write(cd + end(len(cd), len(head) + data_size))


def main():
    folder = sys.argv[1]
    bomb = deflated_zeros(100 * MIB, 9)
    write(os.path.join(folder, "bomb.zip"), b"bomb.bin", 8, len(bomb), 1024, zeros_crc(100 * MIB),
          bomb)
    size = 2048 * MIB
    crc = zeros_crc(size)
    write(os.path.join(folder, "big-stored.zip"), b"big-stored.bin", 0, size, size, crc)
    big = deflated_zeros(size, 6)
    write(os.path.join(folder, "big-deflated.zip"), b"big-deflated.bin", 8, len(big), size, crc,
          big)


if __name__ == "__main__":
    main()
