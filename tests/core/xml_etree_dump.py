#!/usr/bin/env python3
# xml_etree_dump.py --
#
#     Reads each XML file named on the command line with Python's
#     xml.etree and prints its tree in the form the XML round-trip test
#     prints ours: one line per element start ("<" name), attribute
#     ("@" name "=" value) and text ("#" text), and ">" at each element's
#     end, every name and value as the hex of its UTF-8 bytes. A file
#     ends with a line "." (or "!" and the reason when it does not parse).
#     An element's text is, as in our tree, all character data directly
#     inside it joined, with leading and trailing blanks, tabs and line
#     feeds stripped when it begins or ends with one.

import sys
import xml.etree.ElementTree as ET

BLANKS = " \n\t"


def text_of(elem):
    text = (elem.text or "") + "".join(kid.tail or "" for kid in elem)
    if text and (text[0] in BLANKS or text[-1] in BLANKS):
        text = text.rstrip(BLANKS).lstrip(BLANKS)
    return text


def hexed(s):
    return s.encode("utf-8").hex()


def dump(elem, out):
    out.append("<" + hexed(elem.tag))
    for name, value in elem.attrib.items():
        out.append("@" + hexed(name) + "=" + hexed(value))
    out.append("#" + hexed(text_of(elem)))
    for kid in elem:
        dump(kid, out)
    out.append(">")


for path in sys.argv[1:]:
    lines = []
    try:
        with open(path, "rb") as f:
            dump(ET.fromstring(f.read()), lines)
        lines.append(".")
    except ET.ParseError as e:
        lines = ["! " + str(e)]
    print("\n".join(lines))
