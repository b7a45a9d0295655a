"""Problem reports sent by Veltrix after a crash: the multipart form is parsed and stored, one folder per
report, inside the reports folder.

A report folder is named after the time it arrived and a counter (20250114-093012-001) and holds one file
per part of the form, numbered in the order the parts came: a text field as NN-NAME with its value's
bytes, a file as NN-NAME-FILENAME with the file's bytes. Veltrix sends the fields a ("r"), p (product),
s, v (version), g (machine identifier), e (e-mail), x (description), then the files d (the minidump, when
there is one) and t (the text report). A folder is written under a name starting with "." and renamed
when complete, so whoever reads the reports folder never sees half a report. A name is taken by creating
its partial folder, which only one process can do, so several servers may share one reports folder.
Reports past the quota (the bytes and the number of reports the folder may hold) are refused before
anything is written. Standard library only.
"""

import os
import re
import shutil
import threading
import time

FIELD_NAME = re.compile(r"^[A-Za-z0-9_.-]{1,40}$")
MAX_PARTS = 99


class FormError(ValueError):
    """The body is not a multipart form this server takes."""


class QuotaError(OSError):
    """The reports folder holds as much as it may."""


def boundary_of(content_type):
    match = re.match(r'^\s*multipart/form-data\s*;(?:.*;)?\s*boundary=("?)([^";]+)\1\s*(?:;|$)',
                     content_type or "", re.IGNORECASE)
    if not match:
        raise FormError("not a multipart form")
    return match.group(2).encode("latin-1")


def _disposition(headers):
    for line in headers.split(b"\r\n"):
        key, _, value = line.partition(b":")
        if key.strip().lower() == b"content-disposition":
            text = value.decode("latin-1")
            name = re.search(r'(?:^|;)\s*name="([^"]*)"', text)
            filename = re.search(r'(?:^|;)\s*filename="([^"]*)"', text)
            if not name:
                break
            return name.group(1), filename.group(1) if filename else None
    raise FormError("a part without a name")


def parse_form(body, boundary):
    """The parts of a multipart/form-data body: a list of (name, filename or None, bytes), in order."""
    delimiter = b"\r\n--" + boundary
    # The first delimiter may start the body, without the line break before it.
    data = b"\r\n" + body
    at = data.find(delimiter)
    if at < 0:
        raise FormError("no delimiter")
    parts = []
    while True:
        at += len(delimiter)
        if data[at:at + 2] == b"--":
            return parts
        if data[at:at + 2] != b"\r\n":
            raise FormError("a delimiter without its line end")
        at += 2
        end = data.find(delimiter, at)
        if end < 0:
            raise FormError("the form does not end")
        head_end = data.find(b"\r\n\r\n", at, end)
        if head_end < 0:
            raise FormError("a part without headers")
        name, filename = _disposition(data[at:head_end])
        if not FIELD_NAME.match(name):
            raise FormError("a part name this server does not store")
        parts.append((name, filename, data[head_end + 4:end]))
        if len(parts) > MAX_PARTS:
            raise FormError("too many parts")
        at = end


def safe_file_name(filename):
    """The client's file name as a name in the report folder: no folders, only plain characters."""
    base = re.split(r"[\\/]", filename)[-1]
    base = re.sub(r"[^A-Za-z0-9._-]", "_", base)[:100].lstrip(".")
    return base or "file"


def folder_usage(folder):
    """The bytes of the files below the folder and the number of its reports (finished or not)."""
    total = 0
    reports = 0
    try:
        entries = list(os.scandir(folder))
    except OSError:
        return 0, 0
    for entry in entries:
        if not entry.is_dir(follow_symlinks=False):
            continue
        reports += 1
        try:
            for part in os.scandir(entry.path):
                if part.is_file(follow_symlinks=False):
                    total += part.stat(follow_symlinks=False).st_size
        except OSError:
            pass
    return total, reports


class ReportStore:
    def __init__(self, folder, quota=4 << 30, max_reports=100000):
        self.folder = folder
        self.quota = quota
        self.max_reports = max_reports
        # Reports of this process are checked against the quota one at a time; other processes sharing the
        # folder can overshoot it by the reports they are writing at that moment.
        self.lock = threading.Lock()

    def claim(self, stamp):
        """Creates the partial folder of the first free name of this second; (name, partial path)."""
        for counter in range(1, 1000):
            name = "%s-%03d" % (stamp, counter)
            partial = os.path.join(self.folder, "." + name)
            try:
                os.mkdir(partial)
            except FileExistsError:
                continue
            # Whoever held this partial folder before has renamed it into the finished report: the name
            # is taken. (Nobody else can make that report now, since the partial folder is ours.)
            if os.path.exists(os.path.join(self.folder, name)):
                os.rmdir(partial)
                continue
            return name, partial
        raise OSError("no free report folder name for %s" % stamp)

    def store(self, parts):
        """Writes one report; its folder's name. Raises QuotaError past the quota, OSError when the
        reports folder takes no report."""
        os.makedirs(self.folder, exist_ok=True)
        size = sum(len(data) for _, _, data in parts)
        with self.lock:
            used, reports = folder_usage(self.folder)
            if used + size > self.quota or reports + 1 > self.max_reports:
                raise QuotaError("quota: %d bytes in %d reports" % (used, reports))
            name, partial = self.claim(time.strftime("%Y%m%d-%H%M%S"))
            try:
                for index, (field, filename, data) in enumerate(parts, 1):
                    entry = "%02d-%s" % (index, field)
                    if filename is not None:
                        entry += "-" + safe_file_name(filename)
                    with open(os.path.join(partial, entry), "wb") as f:
                        f.write(data)
                os.rename(partial, os.path.join(self.folder, name))
            except OSError:
                shutil.rmtree(partial, ignore_errors=True)
                raise
        return name
