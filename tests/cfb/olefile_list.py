"""Lists a compound file with olefile, one sorted line per element, names in UTF-8, in the format
of listing() in CfbTestSupport.h. Usage: /usr/bin/python3 olefile_list.py FILE"""
import sys
import zlib

import olefile

ole = olefile.OleFileIO(sys.argv[1])
lines = ["root %s" % ole.root.clsid]
for path in ole.listdir(streams=True, storages=True):
    name = "/".join(path)
    if ole.get_type(path) == olefile.STGTY_STREAM:
        data = ole.openstream(path).read()
        lines.append("stream %s %d %08x" % (name, len(data), zlib.crc32(data) & 0xFFFFFFFF))
    else:
        lines.append("storage %s %s" % (name, ole.getclsid(path)))
text = "".join(line + "\n" for line in sorted(lines))
sys.stdout.buffer.write(text.encode("utf-8", "surrogatepass"))
