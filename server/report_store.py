"""Problem reports sent by Veltrix after a crash: the multipart form is parsed and stored, one folder per
report, inside the reports folder.

A report folder is named after the time it arrived and a counter (20250114-093012-001) and holds one file
per part of the form, numbered in the order the parts came: a text field as NN-NAME with its value's
bytes, a file as NN-NAME-FILENAME with the file's bytes. Veltrix sends the fields a ("r"), p (product),
s, v (version), g (machine identifier), e (e-mail), x (description), then the files d (the minidump, when
there is one) and t (the text report). A folder is written under a name starting with "." and renamed
when complete, so whoever reads the reports folder never sees half a report. Standard library only.
"""

import os
import re
import threading
import time

FIELD_NAME = re.compile(r"^[A-Za-z0-9_.-]{1,40}$")
MAX_PARTS = 99


class FormError(ValueError):
    """The body is not a multipart form this server takes."""


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


class ReportStore:
    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()

    def store(self, parts):
        """Writes one report; its folder's name. Raises OSError when the reports folder takes no report."""
        os.makedirs(self.folder, exist_ok=True)
        stamp = time.strftime("%Y%m%d-%H%M%S")
        with self.lock:
            for counter in range(1, 1000):
                name = "%s-%03d" % (stamp, counter)
                partial = os.path.join(self.folder, "." + name)
                if not os.path.exists(os.path.join(self.folder, name)) and not os.path.exists(partial):
                    os.mkdir(partial)
                    break
            else:
                raise OSError("no free report folder name for %s" % stamp)
        for index, (field, filename, data) in enumerate(parts, 1):
            entry = "%02d-%s" % (index, field)
            if filename is not None:
                entry += "-" + safe_file_name(filename)
            with open(os.path.join(partial, entry), "wb") as f:
                f.write(data)
        os.rename(partial, os.path.join(self.folder, name))
        return name
