#!/usr/bin/env python3
"""Reads the resources of built Windows programs back from their files, the way the
system's loader and Explorer find them, and checks what each of ours must carry:
the application manifest (run as invoker, Windows 10/11, aware of each monitor's
scaling, common controls 6), version information naming the program and VERSION,
and an icon whose every image is there.
  ProgramResources.py VERSION PROGRAM.exe...
Exits non-zero with the first thing that is wrong."""
import os
import struct
import sys
import xml.etree.ElementTree as ET

RT_ICON, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 14, 16, 24


class Wrong(Exception):
    pass


def resources(path):
    """{(type, id): bytes} of the resource section (numeric types and ids, first language)."""
    data = open(path, 'rb').read()
    if data[:2] != b'MZ':
        raise Wrong('not a program file')
    pe = struct.unpack_from('<I', data, 0x3C)[0]
    if data[pe:pe + 4] != b'PE\0\0':
        raise Wrong('no PE header')
    sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
    optional = pe + 24
    if struct.unpack_from('<H', data, optional)[0] != 0x10B:
        raise Wrong('not a 32-bit program')
    rsrc_rva, rsrc_size = struct.unpack_from('<II', data, optional + 96 + 2 * 8)
    if not rsrc_size:
        raise Wrong('no resources')
    table = [struct.unpack_from('<8xIIII', data, optional + optional_size + 40 * i) for i in range(sections)]

    def offset(rva):
        for size, address, raw_size, raw in table:
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise Wrong(f'address {rva:#x} in no section')

    root = offset(rsrc_rva)

    def entries(directory):
        names, ids = struct.unpack_from('<12xHH', data, root + directory)
        for i in range(names + ids):
            key, value = struct.unpack_from('<II', data, root + directory + 16 + 8 * i)
            if not key & 0x80000000:
                yield key, value

    found = {}
    for kind, types in entries(0):
        for ident, names in entries(types & 0x7FFFFFFF):
            for _, leaf in entries(names & 0x7FFFFFFF):
                rva, size = struct.unpack_from('<II', data, root + leaf)
                found.setdefault((kind, ident), data[offset(rva):offset(rva) + size])
    return found


def check_manifest(text):
    asm = '{urn:schemas-microsoft-com:asm.v1}'
    v3 = '{urn:schemas-microsoft-com:asm.v3}'
    compat = '{urn:schemas-microsoft-com:compatibility.v1}'
    root = ET.fromstring(text)
    level = root.find(f'{v3}trustInfo/{v3}security/{v3}requestedPrivileges/{v3}requestedExecutionLevel')
    if level is None or level.get('level') != 'asInvoker' or level.get('uiAccess') != 'false':
        raise Wrong('the manifest does not run it as invoker')
    systems = {os_.get('Id').lower() for os_ in root.iter(f'{compat}supportedOS')}
    if systems != {'{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}'}:
        raise Wrong(f'the manifest names the systems {sorted(systems)}, not Windows 10/11 alone')
    settings = root.find(f'{v3}application/{v3}windowsSettings')
    if settings is None:
        raise Wrong('the manifest has no settings of the window')
    aware = settings.find('{http://schemas.microsoft.com/SMI/2005/WindowsSettings}dpiAware')
    awareness = settings.find('{http://schemas.microsoft.com/SMI/2016/WindowsSettings}dpiAwareness')
    if aware is None or aware.text.strip() != 'true/pm' or awareness is None or \
            awareness.text.split(',')[0].strip() != 'PerMonitorV2':
        raise Wrong('the manifest does not make it aware of each monitor\'s scaling')
    controls = [a for a in root.iter(f'{asm}assemblyIdentity') if a.get('name') == 'Microsoft.Windows.Common-Controls']
    if len(controls) != 1 or controls[0].get('version') != '6.0.0.0' or \
            controls[0].get('publicKeyToken') != '6595b64144ccf1df':
        raise Wrong('the manifest does not ask for common controls 6')


def version_strings(block):
    """The fixed version (four numbers) and the strings of a VS_VERSIONINFO."""
    def node(at):
        length, value_length, kind = struct.unpack_from('<HHH', block, at)
        end = block.index(b'\0\0', at + 6)
        while (end - at - 6) % 2:
            end = block.index(b'\0\0', end + 1)
        key = block[at + 6:end].decode('utf-16-le')
        value = (end + 2 + 3) & ~3
        children = value + (value_length * 2 if kind == 1 else value_length)
        return key, length, value, value_length, kind, (children + 3) & ~3

    def children(at):
        key, length, _, _, _, child = node(at)
        while child < at + length:
            yield child
            child = (child + node(child)[1] + 3) & ~3

    key, _, value, value_length, _, _ = node(0)
    if key != 'VS_VERSION_INFO' or value_length != 52:
        raise Wrong('no fixed version information')
    signature, _, ms, ls = struct.unpack_from('<IIII', block, value)
    if signature != 0xFEEF04BD:
        raise Wrong('a damaged version information')
    fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    strings = {}
    for child in children(0):
        if node(child)[0] != 'StringFileInfo':
            continue
        for table in children(child):
            for string in children(table):
                name, _, at, count, _, _ = node(string)
                strings[name] = block[at:at + 2 * count].decode('utf-16-le').rstrip('\0')
    return fixed, strings


def check_version(block, version, program):
    fixed, strings = version_strings(block)
    parts = [int(p) for p in version.split('.')]
    if list(fixed) != parts + [0] * (4 - len(parts)):
        raise Wrong(f'the file version is {fixed}, not {version}')
    for name, want in (('FileVersion', version), ('ProductVersion', version), ('OriginalFilename', program)):
        if strings.get(name, '').lower() != want.lower():
            raise Wrong(f'{name} is {strings.get(name)!r}, not {want!r}')
    for name in ('FileDescription', 'ProductName'):
        if not strings.get(name):
            raise Wrong(f'no {name}')


def check_icon(found):
    group = found.get((RT_GROUP_ICON, 1))
    if not group:
        raise Wrong('no icon')
    _, kind, count = struct.unpack_from('<HHH', group, 0)
    sizes = set()
    for i in range(count):
        width, _, _, _, _, _, size, ident = struct.unpack_from('<BBBBHHIH', group, 6 + 14 * i)
        image = found.get((RT_ICON, ident), b'')
        if kind != 1 or len(image) != size:
            raise Wrong(f'icon image {ident} is missing or cut')
        sizes.add(width or 256)
    if not {16, 32, 48} <= sizes:
        raise Wrong(f'the icon has the sizes {sorted(sizes)}, not 16, 32 and 48')


def main():
    version, programs = sys.argv[1], sys.argv[2:]
    for path in programs:
        program = os.path.basename(path)
        try:
            found = resources(path)
            if (RT_MANIFEST, 1) not in found:
                raise Wrong('no application manifest')
            check_manifest(found[(RT_MANIFEST, 1)])
            if (RT_VERSION, 1) not in found:
                raise Wrong('no version information')
            check_version(found[(RT_VERSION, 1)], version, program)
            check_icon(found)
        except (Wrong, ET.ParseError, struct.error, ValueError) as error:
            sys.exit(f'ProgramResources.py: {path}: {error}')
        print(f'{program}: manifest, version {version} and icon')


main()
