#!/usr/bin/env python3
"""Writes a synthetic XML item report of DISCS discs of NODES nodes each to standard
output: per disc a Disk item, ten folders of ten sub-folders, and files spread over them,
with Chinese and ASCII names, a few descriptions, sizes and dates, as such reports hold.
Usage: make_report_xml.py DISCS NODES > report.xml"""
import sys

discs, nodes = int(sys.argv[1]), int(sys.argv[2])
out = sys.stdout
write = out.write
write('<?xml version="1.0" encoding="UTF-8"?>\n<REPORT Title="合成的报表">\n')
exts = ["TXT", "EXE", "JPG", "MP3", "DLL", "HTM", "ZIP", "DOC"]
for d in range(discs):
    disk = f"光盘{d:04d}"
    write(f'<ITEM ItemType="Disk"><NAME>{disk}</NAME><DISK_NUM>{d}</DISK_NUM>'
          f'<DISK_LOCATION>书架{d % 50}</DISK_LOCATION><DATE>2003-05-14</DATE>'
          f'<DESCRIPTION><![CDATA[第 {d} 张光盘]]></DESCRIPTION></ITEM>\n')
    folders = []
    for a in range(10):
        write(f'<ITEM ItemType="Folder"><NAME>目录{a}</NAME><PATH>\\</PATH>'
              f'<DISK_NAME>{disk}</DISK_NAME></ITEM>\n')
        for b in range(10):
            write(f'<ITEM ItemType="Folder"><NAME>SUB{b}</NAME><PATH>\\目录{a}\\</PATH>'
                  f'<DISK_NAME>{disk}</DISK_NAME></ITEM>\n')
            folders.append(f'\\目录{a}\\SUB{b}\\')
    for f in range(nodes - 110):
        desc = f'<DESCRIPTION><![CDATA[说明 {f}]]></DESCRIPTION>' if f % 100 == 0 else ''
        write(f'<ITEM ItemType="File"><NAME>file{f:05d}</NAME><EXT>{exts[f % 8]}</EXT>'
              f'<SIZE>{f * 37}</SIZE><DATE>2003-05-14</DATE><PATH>{folders[f % 100]}</PATH>'
              f'<DISK_NAME>{disk}</DISK_NAME>{desc}</ITEM>\n')
write('</REPORT>\n')
