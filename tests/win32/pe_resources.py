#!/usr/bin/env python3
"""Reads the resources of a Windows executable (PE32 or PE32+) without any
Windows tool: the resource tree of the .rsrc data, the version resource, the
application manifest, icon groups and string tables, and .ico files to
compare them with.

    tests/win32/pe_resources.py build/win32/updater.exe

prints what a publisher would want to see: the execution level of the
manifest, the version fields and the icon sizes.
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree

RT_ICON = 3
RT_STRING = 6
RT_GROUP_ICON = 14
RT_VERSION = 16
RT_MANIFEST = 24

ASM_V1 = '{urn:schemas-microsoft-com:asm.v1}'
ASM_V3 = '{urn:schemas-microsoft-com:asm.v3}'


class FormatError(Exception):
    """The file is not what it should be; the text says where."""


def _unpack(fmt, data, offset, what):
    size = struct.calcsize(fmt)
    if offset < 0 or offset + size > len(data):
        raise FormatError('%s: out of the data (offset %d)' % (what, offset))
    return struct.unpack_from(fmt, data, offset)


def certificate_table(image):
    """The file offset and size of the Authenticode signature (the
    certificate table, data directory 4); (0, 0) for an unsigned file."""
    if image[:2] != b'MZ':
        raise FormatError('no MZ header')
    (pe,) = _unpack('<I', image, 0x3C, 'e_lfanew')
    if image[pe:pe + 4] != b'PE\0\0':
        raise FormatError('no PE signature')
    optional = pe + 24
    (magic,) = _unpack('<H', image, optional, 'optional header')
    directories = optional + {0x10B: 96, 0x20B: 112}.get(magic, 0)
    if directories == optional:
        raise FormatError('unknown optional header 0x%x' % magic)
    (dir_count,) = _unpack('<I', image, directories - 4, 'directory count')
    if dir_count <= 4:
        return 0, 0
    return _unpack('<II', image, directories + 32, 'certificate table')


def read_resources(image):
    """All resources of a PE image as {(type, name, language): bytes}; type
    and name are numbers or strings, as stored."""
    if image[:2] != b'MZ':
        raise FormatError('no MZ header')
    (pe,) = _unpack('<I', image, 0x3C, 'e_lfanew')
    if image[pe:pe + 4] != b'PE\0\0':
        raise FormatError('no PE signature')
    sections_count, optional_size = _unpack('<2xH12xH', image, pe + 4,
                                            'file header')
    optional = pe + 24
    (magic,) = _unpack('<H', image, optional, 'optional header')
    if magic == 0x10B:
        directories = optional + 96
    elif magic == 0x20B:
        directories = optional + 112
    else:
        raise FormatError('unknown optional header 0x%x' % magic)
    (dir_count,) = _unpack('<I', image, directories - 4, 'directory count')
    if dir_count <= 2:
        return {}
    rsrc_rva, rsrc_size = _unpack('<II', image, directories + 16,
                                  'resource directory')
    if rsrc_rva == 0:
        return {}

    sections = []
    for i in range(sections_count):
        vsize, va, raw_size, raw_offset = _unpack(
            '<8xIIII', image, optional + optional_size + 40 * i, 'section')
        sections.append((va, max(vsize, raw_size), raw_size, raw_offset))

    def file_offset(rva, size):
        for va, span, raw_size, raw_offset in sections:
            if va <= rva and rva + size <= va + min(span, raw_size):
                return raw_offset + rva - va
        raise FormatError('RVA 0x%x (+%d) is in no section' % (rva, size))

    base = file_offset(rsrc_rva, 16)

    def entry_id(field):
        if not field & 0x80000000:
            return field & 0xFFFF
        at = base + (field & 0x7FFFFFFF)
        (length,) = _unpack('<H', image, at, 'resource name')
        return image[at + 2:at + 2 + 2 * length].decode('utf-16-le')

    resources = {}

    def walk(offset, path):
        named, numbered = _unpack('<12xHH', image, offset, 'resource directory')
        for i in range(named + numbered):
            name, target = _unpack('<II', image, offset + 16 + 8 * i,
                                   'resource entry')
            key = path + (entry_id(name),)
            subdirectory = bool(target & 0x80000000)
            if subdirectory != (len(key) < 3):
                raise FormatError('resource tree of the wrong depth at %r'
                                  % (key,))
            at = base + (target & 0x7FFFFFFF)
            if subdirectory:
                walk(at, key)
            else:
                rva, size = _unpack('<II', image, at, 'resource data entry')
                start = file_offset(rva, size)
                resources[key] = bytes(image[start:start + size])

    walk(base, ())
    return resources


def find(resources, rtype, name):
    """The data of resource (rtype, name) in whichever language, or None."""
    for (t, n, _), data in sorted(resources.items(), key=str):
        if t == rtype and n == name:
            return data
    return None


def names(resources, rtype):
    """The names of the resources of one type, in the order of the tree."""
    seen = []
    for t, n, _ in resources:
        if t == rtype and n not in seen:
            seen.append(n)
    return seen


# The version resource: a tree of nodes, each wLength, wValueLength, wType,
# a NUL-terminated UTF-16 key, the value and the children, every part on a
# four-byte boundary of the resource.

def _align(offset):
    return (offset + 3) & ~3


def _version_node(data, offset, end):
    length, value_length, kind = _unpack('<HHH', data, offset, 'version node')
    node_end = offset + length
    if length < 6 or node_end > end:
        raise FormatError('version node at %d overruns its parent' % offset)
    key_end = offset + 6
    while True:
        if key_end + 2 > node_end:
            raise FormatError('version node at %d: key without end' % offset)
        if data[key_end:key_end + 2] == b'\0\0':
            break
        key_end += 2
    key = data[offset + 6:key_end].decode('utf-16-le')
    value_start = _align(key_end + 2)
    if kind == 1:  # text: wValueLength counts characters
        raw = data[value_start:min(node_end, value_start + 2 * value_length)]
        text = raw.decode('utf-16-le', errors='strict')
        if '\0' not in text and value_length:
            raise FormatError('version text %r has no terminating NUL' % key)
        value = text.split('\0')[0]
        value_end = value_start + 2 * value_length
    elif kind == 0:
        value = data[value_start:value_start + value_length]
        value_end = value_start + value_length
    else:
        raise FormatError('version node %r of unknown type %d' % (key, kind))
    if value_end > node_end:
        raise FormatError('version value of %r overruns its node' % key)
    children = []
    child = _align(value_end)
    while child < node_end:
        node, child_end = _version_node(data, child, node_end)
        children.append(node)
        child = _align(child_end)
    return (key, value, children), node_end


def parse_version(data):
    """The version resource as a dict: file_version and product_version (four
    numbers each), file_flags, file_os, file_type, strings ({table: {key:
    text}}) and translations ([(language, code page)])."""
    (key, fixed, children), _ = _version_node(data, 0, len(data))
    if key != 'VS_VERSION_INFO':
        raise FormatError('version resource keyed %r' % key)
    if len(fixed) != 52:
        raise FormatError('VS_FIXEDFILEINFO of %d bytes' % len(fixed))
    values = struct.unpack('<13I', fixed)
    if values[0] != 0xFEEF04BD:
        raise FormatError('VS_FIXEDFILEINFO without its signature')

    def four(ms, ls):
        return (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)

    result = {
        'file_version': four(values[2], values[3]),
        'product_version': four(values[4], values[5]),
        'file_flags': values[7] & values[6],
        'file_os': values[8],
        'file_type': values[9],
        'strings': {},
        'translations': [],
    }
    for block, _, tables in children:
        if block == 'StringFileInfo':
            for table, _, strings in tables:
                result['strings'][table] = {k: v for k, v, _ in strings}
        elif block == 'VarFileInfo':
            for var, value, _ in tables:
                if var == 'Translation':
                    result['translations'] += [
                        struct.unpack_from('<HH', value, i)
                        for i in range(0, len(value) - 3, 4)]
    return result


def parse_manifest(data):
    """The manifest's XML root, its execution level (None when it has none)
    and its uiAccess. More than one requestedExecutionLevel is an error."""
    root = ElementTree.fromstring(data)
    if root.tag != ASM_V1 + 'assembly':
        raise FormatError('manifest root is %s' % root.tag)
    levels = [e for e in root.iter() if e.tag.endswith('}requestedExecutionLevel')]
    if not levels:
        return root, None, None
    path = '/'.join(ASM_V3 + p for p in (
        'trustInfo', 'security', 'requestedPrivileges',
        'requestedExecutionLevel'))
    placed = root.findall(path)
    if len(levels) != 1 or len(placed) != 1:
        raise FormatError('%d requestedExecutionLevel elements, %d in '
                          'trustInfo/security/requestedPrivileges (asm.v3)'
                          % (len(levels), len(placed)))
    return root, placed[0].get('level'), placed[0].get('uiAccess')


def parse_icon_group(data):
    """An RT_GROUP_ICON resource: [(width, height, colours, planes, bits,
    bytes, icon id)]; width and height 0 mean 256."""
    reserved, kind, count = _unpack('<HHH', data, 0, 'icon group')
    if reserved != 0 or kind != 1 or len(data) != 6 + 14 * count:
        raise FormatError('not an icon group')
    return [_unpack('<BBBxHHIH', data, 6 + 14 * i, 'icon group entry')
            for i in range(count)]


def parse_ico(data):
    """A .ico file: [((width, height, colours, planes, bits, bytes), image)]."""
    reserved, kind, count = _unpack('<HHH', data, 0, '.ico header')
    if reserved != 0 or kind != 1 or count == 0:
        raise FormatError('not a .ico file')
    images = []
    for i in range(count):
        entry = _unpack('<BBBxHHII', data, 6 + 16 * i, '.ico entry')
        size, offset = entry[5], entry[6]
        if offset + size > len(data):
            raise FormatError('.ico image %d overruns the file' % i)
        images.append((entry[:6], data[offset:offset + size]))
    return images


def load_string(resources, string_id, language=None):
    """String string_id of the string tables (block id // 16 + 1), or None."""
    for (t, n, lang), data in resources.items():
        if t != RT_STRING or n != string_id // 16 + 1:
            continue
        if language is not None and lang != language:
            continue
        offset = 0
        for index in range(16):
            (length,) = _unpack('<H', data, offset, 'string table')
            text = data[offset + 2:offset + 2 + 2 * length]
            if index == string_id % 16:
                return text.decode('utf-16-le')
            offset += 2 + 2 * length
    return None


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], 'rb') as f:
        resources = read_resources(f.read())
    manifest = find(resources, RT_MANIFEST, 1)
    if manifest is None:
        print('manifest: none')
    else:
        _, level, ui_access = parse_manifest(manifest)
        print('manifest: execution level %s, uiAccess %s' % (level, ui_access))
    version = find(resources, RT_VERSION, 1)
    if version is not None:
        info = parse_version(version)
        print('file version: %d.%d.%d.%d' % info['file_version'])
        print('product version: %d.%d.%d.%d' % info['product_version'])
        for table, strings in info['strings'].items():
            for key, value in strings.items():
                print('%s %s: %s' % (table, key, value))
    for group in names(resources, RT_GROUP_ICON):
        sizes = ['%dx%d/%d' % (e[0] or 256, e[1] or 256, e[4])
                 for e in parse_icon_group(find(resources, RT_GROUP_ICON, group))]
        print('icon group %s: %s' % (group, ', '.join(sizes)))
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
