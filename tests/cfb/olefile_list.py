"""Lists a compound file with olefile, one sorted line per element, in the format of
listing() in CfbTestSupport.h. Usage: /usr/bin/python3 olefile_list.py FILE"""
import sys
import zlib

import olefile


def escaped(name):
    out = []
    for ch in name:
        code = ord(ch)
        units = [code] if code < 0x10000 else [0xD800 + ((code - 0x10000) >> 10),
                                               0xDC00 + ((code - 0x10000) & 0x3FF)]
        for unit in units:
            printable = 0x20 < unit < 0x7F and chr(unit) not in "\\/"
            out.append(chr(unit) if printable else "\\u%04x" % unit)
    return "".join(out)


ole = olefile.OleFileIO(sys.argv[1])
lines = ["root %s" % ole.root.clsid]
for path in ole.listdir(streams=True, storages=True):
    name = "/".join(escaped(part) for part in path)
    if ole.get_type(path) == olefile.STGTY_STREAM:
        data = ole.openstream(path).read()
        lines.append("stream %s %d %08x" % (name, len(data), zlib.crc32(data) & 0xFFFFFFFF))
    else:
        lines.append("storage %s %s" % (name, ole.getclsid(path)))
for line in sorted(lines):
    print(line)
