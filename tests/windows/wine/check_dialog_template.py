#!/usr/bin/env python3
"""Checks the resources linked into Velmora.exe: the dialog template
"MAINDIALOG" with every style bit the resource compiler produced, the two icon
groups, the manifest and the version block (as the text in
program_resources.expected), the resource language, and that there is nothing
else.

  check_dialog_template.py Velmora.exe
"""

import struct
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path

# Window and control styles, as the Windows headers define them.
WS_CHILD, WS_VISIBLE, WS_TABSTOP, WS_VSCROLL = 0x40000000, 0x10000000, 0x00010000, 0x00200000
WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX = 0x00C00000, 0x00080000, 0x00020000
DS_SETFONT, DS_MODALFRAME, DS_CENTER = 0x40, 0x80, 0x800
BS_PUSHBUTTON, BS_GROUPBOX, CBS_DROPDOWNLIST, SS_ICON = 0x0, 0x7, 0x3, 0x3

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
ENGLISH_UK = 0x0809
BUTTON, STATIC, COMBOBOX = 0x80, 0x82, 0x85
CLASS_NAMES = {"button": BUTTON, "static": STATIC, "combobox": COMBOBOX}

DIALOG_STYLE = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME | DS_CENTER | DS_SETFONT
PUSH_BUTTON = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON
DROP_DOWN_LIST = WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST
GROUP_BOX = WS_CHILD | WS_VISIBLE | BS_GROUPBOX
ICON = WS_CHILD | WS_VISIBLE | SS_ICON
NO_ID = 0xFFFF  # -1 in a 16-bit control ID

# (ID, class, text, (x, y, width, height), style), in template order. An
# icon's text is the icon resource's number.
CONTROLS = [
    (1002, BUTTON, "&Open MIDI", (184, 8, 58, 14), PUSH_BUTTON),
    (1003, BUTTON, "&Randomize (F1)", (184, 25, 58, 14), PUSH_BUTTON),
    (1005, BUTTON, "&About", (184, 42, 58, 14), PUSH_BUTTON),
    (2, BUTTON, "&Quit", (184, 59, 58, 14), PUSH_BUTTON),
    (1000, COMBOBOX, "", (38, 20, 130, 74), DROP_DOWN_LIST),
    (1001, COMBOBOX, "", (38, 46, 130, 67), DROP_DOWN_LIST),
    (NO_ID, BUTTON, "MIDI Output / Channel", (3, 3, 175, 70), GROUP_BOX),
    (NO_ID, STATIC, 113, (10, 17, 20, 20), ICON),
    (NO_ID, STATIC, 114, (9, 44, 20, 20), ICON),
]


class Mismatch(Exception):
    pass


def expect(actual, expected, what):
    if actual != expected:
        raise Mismatch(f"{what}: {actual!r}, expected {expected!r}")


def read_resources(image):
    """{(type, name, language): data} from a PE32+ file's resource section."""
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    expect(image[pe:pe + 4], b"PE\0\0", "PE signature")
    sections, optional_size = struct.unpack_from("<H12xH", image, pe + 6)
    optional = pe + 24
    expect(struct.unpack_from("<H", image, optional)[0], 0x20B, "PE32+ optional header")
    resource_rva, _ = struct.unpack_from("<II", image, optional + 112 + 2 * 8)
    section_table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            size, address, raw_size, raw = struct.unpack_from("<IIII", image,
                                                              section_table + i * 40 + 8)
            if address <= rva < address + max(size, raw_size):
                return raw + rva - address
        raise Mismatch(f"RVA {rva:#x} outside every section")

    base = offset(resource_rva)

    def name_of(value):
        if value & 0x80000000:
            position = base + (value & 0x7FFFFFFF)
            length = struct.unpack_from("<H", image, position)[0]
            return image[position + 2:position + 2 + 2 * length].decode("utf-16-le")
        return value

    def entries(directory):
        named, numbered = struct.unpack_from("<HH", image, base + directory + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
            yield name_of(name), target

    resources = {}
    for kind, kind_dir in entries(0):
        for name, name_dir in entries(kind_dir & 0x7FFFFFFF):
            for language, leaf in entries(name_dir & 0x7FFFFFFF):
                rva, size = struct.unpack_from("<II", image, base + leaf)
                start = offset(rva)
                resources[(kind, name, language)] = image[start:start + size]
    return resources


def read_string_or_ordinal(data, position):
    if struct.unpack_from("<H", data, position)[0] == 0xFFFF:
        return struct.unpack_from("<H", data, position + 2)[0], position + 4
    end = position
    while struct.unpack_from("<H", data, end)[0] != 0:
        end += 2
    return data[position:end].decode("utf-16-le"), end + 2


def check_dialog(data):
    expect(struct.unpack_from("<I", data, 0)[0] == 0xFFFF0001, False,
           "extended dialog template (DIALOGEX)")
    style, exstyle, count, x, y, cx, cy = struct.unpack_from("<IIHhhhh", data, 0)
    expect(style, DIALOG_STYLE, "dialog style")
    expect(exstyle, 0, "dialog extended style")
    expect((x, y, cx, cy), (0, 0, 246, 78), "dialog position and size")
    position = 18
    menu, position = read_string_or_ordinal(data, position)
    window_class, position = read_string_or_ordinal(data, position)
    title, position = read_string_or_ordinal(data, position)
    expect(menu, "", "dialog menu")
    expect(window_class, "", "dialog window class")
    expect(title, "Velmora ", "dialog title")
    point_size = struct.unpack_from("<H", data, position)[0]
    font, position = read_string_or_ordinal(data, position + 2)
    expect((point_size, font), (8, "MS Sans Serif"), "dialog font")
    expect(count, len(CONTROLS), "number of controls")
    for index, expected in enumerate(CONTROLS):
        position = (position + 3) & ~3
        style, exstyle, x, y, cx, cy, control_id = struct.unpack_from("<IIhhhhH", data, position)
        position += 18
        window_class, position = read_string_or_ordinal(data, position)
        text, position = read_string_or_ordinal(data, position)
        extra = struct.unpack_from("<H", data, position)[0]
        position += 2 + extra
        if isinstance(window_class, str):
            # A predefined class may be named rather than numbered.
            window_class = CLASS_NAMES.get(window_class.lower(), window_class)
        what = f"control {index} ({expected[2]!r})"
        expect((control_id, window_class, text, (x, y, cx, cy)), expected[:4],
               f"{what}: ID, class, text, position and size")
        expect(f"{style:#010x}", f"{expected[4]:#010x}", f"{what}: style")
        expect(exstyle, 0, f"{what}: extended style")
        expect(extra, 0, f"{what}: creation data")


def check_icon(resources, group_name):
    group = resources[(RT_GROUP_ICON, group_name, ENGLISH_UK)]
    reserved, kind, count = struct.unpack_from("<HHH", group, 0)
    expect((reserved, kind, count), (0, 1, 1), f"icon group {group_name}: header (one image)")
    width, height, colours, _, planes, bits, _, image_id = struct.unpack_from("<BBBBHHIH",
                                                                              group, 6)
    expect((width, height, colours, bits), (32, 32, 16, 4), f"icon group {group_name}: image")
    image = resources.get((RT_ICON, image_id, ENGLISH_UK))
    if image is None:
        raise Mismatch(f"icon group {group_name}: image {image_id} missing")
    _, bitmap_width, bitmap_height, _, bitmap_bits = struct.unpack_from("<IiiHH", image, 0)
    expect((bitmap_width, bitmap_height, bitmap_bits), (32, 64, 4),
           f"icon {image_id}: bitmap (32 x 32, colour and mask, 4 bits)")
    return image_id


def manifest_text(data):
    """The manifest's elements, one a line, each with its namespace where it
    changes, its attributes and its text; comments and layout left out."""
    lines = []

    def walk(element, depth, namespace):
        element_namespace, _, name = element.tag[1:].partition("}")
        shown = name + (f" [{element_namespace}]" if element_namespace != namespace else "")
        shown += "".join(f" {key}={value}" for key, value in sorted(element.attrib.items()))
        text = (element.text or "").strip()
        lines.append("  " * depth + shown + (f": {text}" if text else ""))
        for child in element:
            walk(child, depth + 1, element_namespace)

    walk(ElementTree.fromstring(data), 0, None)
    return lines


def version_text(data, position=0, depth=0):
    """A version block's nodes, one a line: key, then the value (text, the
    fixed file information, or 16-bit words); children indented."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, position)
    end = position + length
    key, value_start = read_string_or_ordinal(data, position + 6)
    value_start = (value_start + 3) & ~3
    if is_text:
        value_end = value_start + 2 * value_length
        text = data[value_start:value_end].decode("utf-16-le").rstrip("\0")
        value = f": {text}" if text else ""
    else:
        value_end = value_start + value_length
        words = struct.unpack_from(f"<{value_length // 2}H", data, value_start)
        value = "".join(f" {word:04X}" for word in words)
        if key == "VS_VERSION_INFO":
            fixed = struct.unpack_from("<13I", data, value_start)
            expect(fixed[0], 0xFEEF04BD, "fixed file information signature")
            version = lambda high, low: f"{high >> 16}.{high & 0xFFFF}.{low >> 16}.{low & 0xFFFF}"
            value = (f" file {version(fixed[2], fixed[3])} product {version(fixed[4], fixed[5])}"
                     f" flags {fixed[7]:#x}/{fixed[6]:#x} os {fixed[8]:#x} type {fixed[9]:#x}"
                     f" subtype {fixed[10]:#x}")
    lines = ["  " * depth + key + value]
    position = (value_end + 3) & ~3
    while position < end:
        child_length = struct.unpack_from("<H", data, position)[0]
        lines += version_text(data, position, depth + 1)
        position = (position + child_length + 3) & ~3
    return lines


def check_manifest_and_version(resources):
    actual = (["manifest:"] + manifest_text(resources[(RT_MANIFEST, 1, ENGLISH_UK)])
              + ["version:"] + version_text(resources[(RT_VERSION, 1, ENGLISH_UK)]))
    expected = (Path(__file__).parent / "program_resources.expected").read_text().splitlines()
    if actual != expected:
        raise Mismatch("manifest and version block differ from program_resources.expected:\n"
                       + "\n".join(actual))


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as program:
        resources = read_resources(program.read())
    try:
        languages = {language for (_, _, language) in resources}
        expect(languages, {ENGLISH_UK}, "resource languages")
        check_dialog(resources[(RT_DIALOG, "MAINDIALOG", ENGLISH_UK)])
        images = {check_icon(resources, 113), check_icon(resources, 114)}
        check_manifest_and_version(resources)
        expected = ({(RT_DIALOG, "MAINDIALOG"), (RT_GROUP_ICON, 113), (RT_GROUP_ICON, 114),
                     (RT_MANIFEST, 1), (RT_VERSION, 1)}
                    | {(RT_ICON, image) for image in images})
        expect(sorted(map(str, {(kind, name) for (kind, name, _) in resources})),
               sorted(map(str, expected)),
               "resources (nothing but the dialog, two icons, the manifest and the version)")
    except (Mismatch, KeyError) as error:
        print(f"{sys.argv[1]}: {error}", file=sys.stderr)
        return 1
    print(f"{sys.argv[1]}: dialog template, icons, manifest, version and resource language "
          "as designed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
