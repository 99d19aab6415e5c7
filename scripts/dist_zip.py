#!/usr/bin/env python3
"""Writes a zip archive of one folder that depends on nothing but the
folder's names and bytes and the given time: entries in sorted order under
the folder's own name, every entry dated at that time (UTC), fixed
permissions, no extra fields.

Usage: dist_zip.py ARCHIVE FOLDER EPOCH_SECONDS
"""
import os
import sys
import time
import zipfile

archive, folder, epoch = sys.argv[1], sys.argv[2], int(sys.argv[3])
# Zip times are MS-DOS times, which begin in 1980.
date_time = time.gmtime(max(epoch, 315532800))[:6]
top = os.path.basename(os.path.normpath(folder))


def entry(name, mode):
    info = zipfile.ZipInfo(name, date_time)
    info.create_system = 3  # Unix, so that the permissions below are read
    info.external_attr = mode << 16
    return info


paths = []
for parent, dirs, files in os.walk(folder):
    dirs.sort()
    for name in dirs + files:
        paths.append(os.path.join(parent, name))

with zipfile.ZipFile(archive + ".tmp", "w") as zip_file:
    folder_entry = entry(top + "/", 0o40755)
    folder_entry.external_attr |= 0x10  # MS-DOS directory bit
    zip_file.writestr(folder_entry, b"")
    for path in sorted(paths):
        name = top + "/" + os.path.relpath(path, folder).replace(os.sep, "/")
        if os.path.isdir(path):
            info = entry(name + "/", 0o40755)
            info.external_attr |= 0x10
            zip_file.writestr(info, b"")
            continue
        info = entry(name, 0o100644)
        info.compress_type = zipfile.ZIP_DEFLATED
        with open(path, "rb") as f:
            zip_file.writestr(info, f.read(), compresslevel=9)
os.replace(archive + ".tmp", archive)
