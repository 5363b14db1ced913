"""Authenticode signatures for the tests: a self-signed certificate made
with openssl, put in by osslsigncode with as many bytes of extra
certificates as a case asks for (a long chain, cross-certificates and
time stamps make signatures of that size)."""

import os
import shutil
import struct
import subprocess


def available():
    return shutil.which("osslsigncode") is not None and shutil.which("openssl") is not None


def minimal_pe(path):
    """A PE32 program of one section, headers in the first 512 bytes and the
    section in the next 512, as a linker lays them out: enough for
    osslsigncode, which a native build's programs are not."""
    dos = bytearray(64)
    dos[0:2] = b"MZ"
    struct.pack_into("<I", dos, 0x3C, 64)
    coff = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 224, 0x0102)
    optional = bytearray(224)
    struct.pack_into("<HBBIIIIII", optional, 0, 0x10B, 14, 0, 512, 0, 0, 0x1000, 0x1000, 0x2000)
    struct.pack_into("<IIIHHHHHHIIIIHHIIIIII", optional, 28, 0x400000, 0x1000, 512, 6, 0, 0, 0,
                     6, 0, 0, 0x2000, 512, 0, 2, 0, 0x100000, 0x1000, 0x100000, 0x1000, 0, 16)
    section = struct.pack("<8sIIIIIIHHI", b".text", 512, 0x1000, 512, 512, 0, 0, 0, 0,
                          0x60000020)
    head = bytes(dos) + b"PE\0\0" + coff + bytes(optional) + section
    with open(path, "wb") as f:
        f.write(head + bytes(512 - len(head)) + b"\xC3" + bytes(511))
    return path


class Signer:
    def __init__(self, folder):
        self.folder = folder
        os.makedirs(folder, exist_ok=True)
        self.key = os.path.join(folder, "key.pem")
        self.cert = os.path.join(folder, "cert.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                        self.key, "-out", self.cert, "-days", "2", "-subj", "/CN=extractor test"],
                       check=True, capture_output=True)

    def extra_certificate(self, size):
        """A certificate of about size bytes: its subject names make it long."""
        path = os.path.join(self.folder, "extra-%d.pem" % size)
        config = os.path.join(self.folder, "extra-%d.cnf" % size)
        # Each name takes 25 bytes in the certificate.
        names = ",".join("DNS:host%06d.example.test" % i for i in range(size // 25 + 1))
        with open(config, "w") as f:
            f.write("[req]\ndistinguished_name=dn\nx509_extensions=ext\nprompt=no\n"
                    "[dn]\nCN=extra\n[ext]\nsubjectAltName=%s\n" % names)
        subprocess.run(["openssl", "req", "-x509", "-key", self.key, "-config", config, "-out", path,
                        "-days", "2"], check=True, capture_output=True)
        return path

    def sign(self, program, signed, extra_bytes=0):
        """Signs program into signed; extra_bytes of extra certificates with -ac."""
        extra = ["-ac", self.extra_certificate(extra_bytes)] if extra_bytes else []
        subprocess.run(["osslsigncode", "sign", "-certs", self.cert, "-key", self.key, *extra,
                        "-in", program, "-out", signed], check=True, capture_output=True)
        return signed

    def verifies(self, signed):
        done = subprocess.run(["osslsigncode", "verify", "-CAfile", self.cert, "-in", signed],
                              capture_output=True)
        return done.returncode == 0
