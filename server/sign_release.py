#!/usr/bin/env python3
"""Signs Veltrix update releases with the publisher's key, for the update server to publish.

A Veltrix built with the publisher's public keys (one, or two while the publisher changes keys) reads an
update answer only when one of them signed it: an ECDSA signature on the P-256 curve over the SHA-256 of
"Veltrix update answer 1" and a line break followed by the document, the raw 64 bytes r then s (32 bytes
each, big-endian) in base64, in a comment after the document that names the key by its id (see
answer.py); a last comment holds the signature over everything before it, by the first key, which copies
from before key ids check. The answer names the product, an expiry time, and every file's size and SHA-256, so that the
one signature covers everything the program acts on. The signed answer is made here, once per release,
and the server sends it as it is: the private key never goes on the server.

    sign_release.py keygen KEY.pem             make a key pair; prints the public key
    sign_release.py public KEY.pem             print the public key (X then Y, base64) for the build:
                                               cmake -DVELTRIX_UPDATE_PUBLIC_KEY=...
    sign_release.py release KEY.pem FOLDER --base-url URL [--days N] [--product P] [--arch A]
                    [--second-key OTHER.pem]
                                               sign the release in FOLDER (named after its version):
                                               every file's signature into release.json (for older
                                               copies, which check files one by one), and the whole
                                               answer, valid for N days (default 90), into answer.xml;
                                               with --arch x64 the 64-bit release in FOLDER/x64, whose
                                               answer (in FOLDER/x64/answer.xml) names its build
    sign_release.py sign KEY.pem FILE [-o OUT] print (or write to OUT) the signature of one file

Sign the release again before the answer expires; an expired answer is refused by every copy.

The private key never leaves the publisher's machine: sign the release there, then copy the release
folder to the server. Needs the openssl command; otherwise the standard library only.
"""

import argparse
import base64
import hashlib
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import answer  # noqa: E402


# The longest an answer may be valid after it is signed; the program refuses longer.
MAX_DAYS = 90


def openssl(*arguments, data=None):
    return subprocess.run(["openssl", *arguments], input=data, check=True, capture_output=True).stdout


def der_length(der, at):
    """The length of the DER element whose length octets start at `at`, and where its content starts."""
    first = der[at]
    if first < 0x80:
        return first, at + 1
    count = first & 0x7F
    return int.from_bytes(der[at + 1:at + 1 + count], "big"), at + 1 + count


def raw_signature(der):
    """The 64 bytes r then s of a DER-encoded ECDSA signature (SEQUENCE of two INTEGERs)."""
    if der[0] != 0x30:
        raise ValueError("not a DER signature")
    _, at = der_length(der, 1)
    numbers = []
    for _ in range(2):
        if der[at] != 0x02:
            raise ValueError("not a DER signature")
        length, at = der_length(der, at + 1)
        value = int.from_bytes(der[at:at + length], "big")
        at += length
        numbers.append(value.to_bytes(32, "big"))
    return numbers[0] + numbers[1]


def public_key(key_path):
    """X then Y of the key's public point, base64."""
    der = openssl("ec", "-in", key_path, "-pubout", "-outform", "DER")
    # The public key info ends with the uncompressed point: 0x04, X, Y.
    point = der[-65:]
    if point[0] != 0x04:
        raise ValueError("not an uncompressed P-256 point")
    return base64.b64encode(point[1:]).decode("ascii")


def key_id(key_path):
    """The id an answer's signature names its key by: the first 8 bytes of SHA-256 over X and Y."""
    return hashlib.sha256(base64.b64decode(public_key(key_path))).hexdigest()[:16]


def sign_file(key_path, path):
    with open(path, "rb") as f:
        if f.read(len(answer.ANSWER_DOMAIN)) == answer.ANSWER_DOMAIN:
            raise ValueError("%s begins as an update answer's signed bytes do; it is not signed" % path)
    der = openssl("dgst", "-sha256", "-sign", key_path, path)
    return base64.b64encode(raw_signature(der)).decode("ascii")


def sign_bytes(key_path, data):
    der = openssl("dgst", "-sha256", "-sign", key_path, data=data)
    return base64.b64encode(raw_signature(der)).decode("ascii")


def write_whole(path, data):
    """Written under another name first, so that the server never sends half a file."""
    temporary = path + ".tmp"
    with open(temporary, "wb") as f:
        f.write(data)
    os.replace(temporary, path)


def signed_answer(body, key_paths):
    """The answer as copies read it: the document, one key signature per key, and last the signature
    over all of that by the first key, which copies from before key signatures check."""
    signed = body
    for key_path in key_paths:
        signature = sign_bytes(key_path, answer.ANSWER_DOMAIN + body)
        signed += answer.KEY_SIGNATURE_PREFIX + ("%s:%s" % (key_id(key_path), signature)).encode("ascii")
        signed += answer.SIGNATURE_SUFFIX
    return signed + answer.SIGNATURE_PREFIX + sign_bytes(key_paths[0], signed).encode("ascii") + answer.SIGNATURE_SUFFIX


def sign_release(key_path, release, base_url, days, product, arch, second_key=None):
    # Each build's answer lies in its own part of the release, so signing one never replaces the other's.
    folder = answer.part(release, arch)
    manifest_path = os.path.join(folder, "release.json")
    with open(manifest_path, encoding="utf-8") as f:
        manifest = json.load(f)
    for entry in manifest.get("files", []):
        served = answer.served_name(entry)
        entry["signature"] = sign_file(key_path, os.path.join(folder, served))
        print("signed %s" % served)
    write_whole(manifest_path, (json.dumps(manifest, indent=2, ensure_ascii=False) + "\n").encode("utf-8"))
    version = os.path.basename(os.path.normpath(release))
    issued = int(time.time())
    expires = issued + int(days * 86400)
    body = answer.document(release, version, base_url.rstrip("/"), product, expires, arch, issued)
    signed = signed_answer(body, [key_path] + ([second_key] if second_key else []))
    write_whole(os.path.join(folder, answer.SIGNED_ANSWER), signed)
    print("signed the %s answer of %s, valid until %s" % (arch, version, time.strftime("%Y-%m-%d %H:%M UTC",
                                                                                     time.gmtime(expires))))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("command", choices=["keygen", "public", "release", "sign"])
    parser.add_argument("key", help="the publisher's private key (PEM)")
    parser.add_argument("target", nargs="?", help="the release folder or the file to sign")
    parser.add_argument("-o", "--output", help="with sign: write the signature to this file")
    parser.add_argument("--base-url", help="with release: the update server's public address, which the "
                                           "file links start with (https://www.koravent.com)")
    parser.add_argument("--days", type=float, default=MAX_DAYS,
                        help="with release: days the answer is valid, at most %d" % MAX_DAYS)
    parser.add_argument("--product", default="veltrix", help="with release: the product the answer is for")
    parser.add_argument("--second-key", help="with release: a second key (PEM) that signs the answer too, "
                                             "while the publisher changes keys")
    parser.add_argument("--arch", choices=sorted(answer.ARCHITECTURES), default=answer.DEFAULT_ARCHITECTURE,
                        help="with release: the build the answer is for (x64: the release in FOLDER/x64)")
    args = parser.parse_args()
    try:
        if args.command == "keygen":
            if os.path.exists(args.key):
                parser.error("%s exists; a key pair is made once" % args.key)
            pem = openssl("ecparam", "-name", "prime256v1", "-genkey", "-noout")
            descriptor = os.open(args.key, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
            with os.fdopen(descriptor, "wb") as f:
                f.write(pem)
            print(public_key(args.key))
        elif args.command == "public":
            print(public_key(args.key))
        elif not args.target:
            parser.error("%s needs a target" % args.command)
        elif args.command == "release" and args.days > MAX_DAYS:
            parser.error("--days: copies refuse an answer valid for more than %d days after it was signed" % MAX_DAYS)
        elif args.command == "release":
            if not args.base_url or not re.match(r"^https?://[^/?#@\\]+/?$", args.base_url):
                parser.error("release needs --base-url, the update server's address (https://www.koravent.com)")
            sign_release(args.key, args.target, args.base_url, args.days, args.product, args.arch, args.second_key)
        else:
            signature = sign_file(args.key, args.target)
            if args.output:
                with open(args.output, "w") as f:
                    f.write(signature + "\n")
            else:
                print(signature)
    except subprocess.CalledProcessError as error:
        sys.stderr.write(error.stderr.decode(errors="replace"))
        return 1
    except ValueError as error:
        sys.stderr.write("%s\n" % error)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
