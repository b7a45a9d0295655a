#!/usr/bin/env python3
"""Signs Veltrix update files with the publisher's key, for the update server to publish.

Veltrix accepts an update file only with an ECDSA signature on the P-256 curve over the SHA-256 hash of
the file's bytes, made with the private key whose public half is built into the program. A signature
travels in the update answer as the "signature" attribute of the file's "url" element: the raw 64 bytes
r then s (32 bytes each, big-endian), in base64.

    sign_release.py keygen KEY.pem             make a key pair; prints the public key
    sign_release.py public KEY.pem             print the public key (X then Y, base64) for the build:
                                               cmake -DVELTRIX_UPDATE_PUBLIC_KEY=...
    sign_release.py release KEY.pem FOLDER     sign every file that FOLDER/release.json lists and write
                                               each signature into its entry
    sign_release.py sign KEY.pem FILE [-o OUT] print (or write to OUT) the signature of one file

The private key never leaves the publisher's machine: sign the release there, then copy the release
folder to the server. Needs the openssl command; otherwise the standard library only.
"""

import argparse
import base64
import json
import os
import subprocess
import sys


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


def sign_file(key_path, path):
    der = openssl("dgst", "-sha256", "-sign", key_path, path)
    return base64.b64encode(raw_signature(der)).decode("ascii")


def sign_release(key_path, folder):
    manifest_path = os.path.join(folder, "release.json")
    with open(manifest_path, encoding="utf-8") as f:
        manifest = json.load(f)
    for entry in manifest.get("files", []):
        served = entry.get("installer") or entry.get("zip") or entry["name"]
        entry["signature"] = sign_file(key_path, os.path.join(folder, served))
        print("signed %s" % served)
    temporary = manifest_path + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(manifest, f, indent=2, ensure_ascii=False)
        f.write("\n")
    os.replace(temporary, manifest_path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("command", choices=["keygen", "public", "release", "sign"])
    parser.add_argument("key", help="the publisher's private key (PEM)")
    parser.add_argument("target", nargs="?", help="the release folder or the file to sign")
    parser.add_argument("-o", "--output", help="with sign: write the signature to this file")
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
        elif args.command == "release":
            sign_release(args.key, args.target)
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
