"""The resources of extractor.exe as Windows reads them: the application
manifest (common controls 6, DPI awareness per monitor, long paths, the
supported systems, asInvoker) and the version information.

usage: resources_test.py EXTRACTOR_EXE
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_VERSION, RT_MANIFEST = 16, 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPATIBILITY = "{urn:schemas-microsoft-com:compatibility.v1}"
SETTINGS_2005 = "{http://schemas.microsoft.com/SMI/2005/WindowsSettings}"
SETTINGS_2016 = "{http://schemas.microsoft.com/SMI/2016/WindowsSettings}"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


class Image:
    """The sections of a PE file, enough to map virtual addresses."""

    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE file")
        sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva = struct.unpack_from("<I", data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError("address %#x is in no section" % rva)

    def resources(self):
        """{(type, name): bytes} of the first language of each resource."""
        root = self.offset(self.resource_rva)
        found = {}

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, root + directory + 12)
            for i in range(named + numbered):
                ident, target = struct.unpack_from("<II", self.data, root + directory + 16 + 8 * i)
                yield ident, target

        for kind, kind_dir in entries(0):
            for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
                for _, leaf in entries(name_dir & 0x7FFFFFFF):
                    rva, size = struct.unpack_from("<II", self.data, root + leaf)
                    at = self.offset(rva)
                    found.setdefault((kind, name), self.data[at:at + size])
        return found


def check_manifest(text, problems, level="asInvoker"):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        problems.append("the manifest is not well-formed XML: %s" % error)
        return
    if root.tag != ASM_V1 + "assembly" or root.get("manifestVersion") != "1.0":
        problems.append("the manifest's root is %s" % root.tag)

    controls = [identity for identity in root.iter(ASM_V1 + "assemblyIdentity")
                if identity.get("name") == "Microsoft.Windows.Common-Controls"]
    if not any(c.get("version") == "6.0.0.0" and c.get("publicKeyToken") == "6595b64144ccf1df"
               and c.get("type") == "win32" for c in controls):
        problems.append("no dependency on version 6.0.0.0 of the common controls")

    levels = [e.get("level") for e in root.iter(ASM_V3 + "requestedExecutionLevel")]
    if levels != [level]:
        problems.append("execution level %s, not %s" % (levels, level))

    systems = {e.get("Id") for e in root.iter(COMPATIBILITY + "supportedOS")}
    for guid, system in SUPPORTED_OS.items():
        if guid not in systems:
            problems.append("%s is not declared as supported" % system)

    def setting(namespace, name):
        values = [(e.text or "").strip() for e in root.iter(namespace + name)]
        return values[0] if len(values) == 1 else None

    awareness = setting(SETTINGS_2016, "dpiAwareness")
    if awareness is None or awareness.split(",")[0].strip() != "PerMonitorV2":
        problems.append("DPI awareness %r, not PerMonitorV2 first" % awareness)
    if setting(SETTINGS_2005, "dpiAware") != "true/pm":
        problems.append("no per-monitor dpiAware for systems before Windows 10")
    if setting(SETTINGS_2016, "longPathAware") != "true":
        problems.append("not declared longPathAware")


def version_strings(block):
    """The StringFileInfo values of a VS_VERSIONINFO block, and its fixed
    file version."""
    def node(at):
        length, value_length, is_text = struct.unpack_from("<HHH", block, at)
        key_end = block.index(b"\0\0", at + 6)
        while (key_end - at) % 2:
            key_end = block.index(b"\0\0", key_end + 1)
        key = block[at + 6:key_end].decode("utf-16-le")
        value_at = (key_end + 2 + 3) & ~3
        return length, value_length, is_text, key, value_at

    length, value_length, _, key, value_at = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError("no VS_VERSION_INFO")
    signature, _, ms, ls = struct.unpack_from("<IIII", block, value_at)
    if signature != 0xFEEF04BD:
        raise ValueError("no fixed file information")
    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}

    def walk(at, end, depth):
        while at < end:
            length, value_length, is_text, key, value_at = node(at)
            if length == 0:
                break
            if depth == 2 and is_text:
                raw = block[value_at:value_at + 2 * value_length]
                strings[key] = raw.decode("utf-16-le").rstrip("\0")
            elif depth < 2:
                children = value_at + (2 * value_length if is_text else value_length)
                walk((children + 3) & ~3, at + length, depth + 1)
            at = (at + length + 3) & ~3

    walk((value_at + value_length + 3) & ~3, length, 0)
    return fixed, strings


def main():
    with open(sys.argv[1], "rb") as f:
        resources = Image(f.read()).resources()
    problems = []
    manifest = resources.get((RT_MANIFEST, 1))
    if manifest is None:
        problems.append("no manifest resource 1")
    else:
        check_manifest(manifest, problems)
    version = next((data for (kind, _), data in resources.items() if kind == RT_VERSION), None)
    if version is None:
        problems.append("no version resource")
    else:
        fixed, strings = version_strings(version)
        if strings.get("ProductName") != "Corvane Self-Extractor":
            problems.append("product name %r" % strings.get("ProductName"))
        if not strings.get("FileDescription"):
            problems.append("no file description")
        text = ".".join(map(str, fixed))
        for key in ["FileVersion"]:
            if strings.get(key) != text:
                problems.append("%s %r differs from the fixed version %s" % (key, strings.get(key),
                                                                          text))
        print("version %s: %s" % (text, strings))
    for problem in problems:
        print("FAIL " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
