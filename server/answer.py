"""The update answer of one release, as the update server sends it and the publisher signs it.

The answer is an XML document (the keys Veltrix reads: application, version, help, info, restart, files
with one "url" element per file and an optional "execute") with, besides, the product it is for, and per
file its size and SHA-256 (attributes "size" and "sha256"), so that a signature over the answer binds every
file to its exact bytes. A signed answer carries an expiry time too ("expires", seconds since 1970) and is
followed by the publisher's signature over all of its bytes:

    <!--signature:BASE64-->

(an ECDSA P-256 signature over the SHA-256 of every byte before the comment, r then s, base64). An XML
comment after the root element, so that copies that know nothing of it read the answer as before.

The answer also names the build its files are for ("arch": "x86" or "x64"), inside what is signed: a copy
installs only an answer for its own build, and takes one without it (every answer before the 64-bit
build) as 32-bit. A release folder holds the 32-bit release itself, as it always has, and the 64-bit
release, laid out the same way, in its subfolder "x64". Standard library only.
"""

import hashlib
import json
import os
import re
import urllib.parse
from xml.sax.saxutils import escape, quoteattr

SIGNATURE_PREFIX = b"<!--signature:"
SIGNATURE_SUFFIX = b"-->\n"
# A signature by one named key over ANSWER_DOMAIN and the document: "<!--key-signature:ID:BASE64-->", one
# per key, before the signature that copies from before key ids read. ID is the first eight bytes of
# the SHA-256 of the public key (X then Y), in hexadecimal.
KEY_SIGNATURE_PREFIX = b"<!--key-signature:"
# What an answer's key signatures cover before its bytes: no other signed bytes (a file's) can pass for an
# answer, since no file the publisher signs begins with it.
ANSWER_DOMAIN = b"Veltrix update answer 1\n"
SIGNED_ANSWER = "answer.xml"
# Each build's part of a release folder: the 32-bit one is the folder itself, where it always was.
ARCHITECTURES = {"x86": "", "x64": "x64"}
DEFAULT_ARCHITECTURE = "x86"


def part(release, arch):
    """The folder of a release that holds one build's release.json, files and signed answer."""
    return os.path.join(release, ARCHITECTURES[arch]) if ARCHITECTURES[arch] else release


def localized(tag, texts):
    parts = "".join("<%s>%s</%s>" % (lang, escape(text), lang) for lang, text in sorted(texts.items())
                    if re.match(r"^[a-z]{2,3}$", lang))
    return "<%s>%s</%s>" % (tag, parts, tag)


def served_name(entry):
    return entry.get("installer") or entry.get("zip") or entry["name"]


def file_facts(release, entry):
    """Size and SHA-256 (hex) of the file an entry serves, or (None, None) when it is not in the folder."""
    try:
        with open(os.path.join(release, served_name(entry)), "rb") as f:
            data = f.read()
    except OSError:
        return None, None
    return len(data), hashlib.sha256(data).hexdigest()


def document(release, version, base_url, product, expires=None, arch=DEFAULT_ARCHITECTURE, issued=None):
    """The answer of one build of a release as UTF-8 bytes. File links are base_url/files/VERSION/NAME
    (VERSION/x64/NAME for the 64-bit build) unless an entry names its own "url" (a mirror)."""
    release = part(release, arch)
    with open(os.path.join(release, "release.json"), encoding="utf-8") as f:
        manifest = json.load(f)
    quoted = "/".join(urllib.parse.quote(p) for p in (version, ARCHITECTURES[arch]) if p)
    # No encoding in the declaration: the program reads the body byte by byte and decodes the texts itself.
    out = ['<?xml version="1.0"?>', "<update>"]
    out.append("<product>%s</product>" % escape(product))
    out.append("<application>%s</application>" % escape(manifest.get("application", "Veltrix")))
    out.append("<version>%s</version>" % escape(version))
    out.append("<arch>%s</arch>" % escape(arch))
    if expires is not None:
        out.append("<expires>%d</expires>" % expires)
    # When it was signed: a copy takes no answer older than one it has taken.
    if issued is not None:
        out.append("<issued>%d</issued>" % issued)
    if manifest.get("help"):
        out.append("<help>%s</help>" % escape(manifest["help"]))
    out.append(localized("info", manifest.get("info", {})))
    if "restart" in manifest:
        out.append(localized("restart", manifest["restart"]))
    out.append("<files>")
    for entry in manifest.get("files", []):
        served = served_name(entry)
        link = entry.get("url") or "%s/files/%s/%s" % (base_url, quoted, urllib.parse.quote(served))
        attributes = ""
        if "installer" not in entry:
            attributes += " name=%s" % quoteattr(entry["name"])
            if entry.get("zip"):
                attributes += " zip=%s" % quoteattr(entry["zip"])
        size, sha256 = file_facts(release, entry)
        if size is not None:
            attributes += ' size="%d" sha256="%s"' % (size, sha256)
        # The signature over the file alone, for copies that check files rather than the answer.
        if entry.get("signature"):
            attributes += " signature=%s" % quoteattr(entry["signature"])
        out.append("<url%s>%s</url>" % (attributes, escape(link)))
    if manifest.get("execute"):
        out.append("<execute>%s</execute>" % escape(manifest["execute"]))
    out.append("</files>")
    out.append("</update>")
    return ("\n".join(out) + "\n").encode("utf-8")
