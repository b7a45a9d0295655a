#!/usr/bin/env python3
"""The signed release as a publisher makes it and a user or package manager checks it: the build's
dist/signed/ (the release signed with a certificate of a test authority made at build time, see
cmake/Dist.cmake) verified with osslsigncode, installed under Wine, and its checksums and winget
manifests read back.

    release_check.py BUILD SOURCE
"""

import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import yaml

BUILD, SOURCE = sys.argv[1], sys.argv[2]
SIGNED = os.path.join(BUILD, "dist", "signed")
CA = os.path.join(SIGNED, "test-ca.pem")
with open(os.path.join(BUILD, "dist", "version.txt")) as version_file:
    VERSION = version_file.read().strip()
SETUP = "Veltrix-%s-setup.exe" % VERSION
ZIP = "Veltrix-%s-portable.zip" % VERSION
ZIP64 = "Veltrix-%s-portable-x64.zip" % VERSION


def verify(path, ca=CA):
    """osslsigncode's verdict on a file's Authenticode signature, and what it printed."""
    args = ["osslsigncode", "verify", "-in", path]
    if ca:
        args[2:2] = ["-CAfile", ca]
    run = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, timeout=60)
    return run.returncode == 0, run.stdout


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# A prefix of 32-bit Windows beside the build's own (which is 64-bit Windows), made on first use.
WINE32 = os.path.join(BUILD, "wine32")


def wine(*args, windows32=False):
    env = dict(os.environ, VELTRIX_BUILD=BUILD)
    if windows32:
        env.update(VELTRIX_WINE_STATE=WINE32, WINEARCH="win32")
    return subprocess.run([os.path.join(SOURCE, "tools", "winerun")] + list(args), env=env, timeout=180,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


class SignedRelease(unittest.TestCase):
    def test_every_program_verifies_against_the_authority_and_a_changed_byte_or_another_authority_fails(self):
        for name in ("Veltrix.exe", "x64/Veltrix.exe", SETUP):
            path = os.path.join(SIGNED, name)
            ok, text = verify(path)
            self.assertTrue(ok, name + ":\n" + text)
            self.assertIn("Subject: /CN=Koravent (TEST ONLY)/O=Koravent", text)
            self.assertIn("Message digest algorithm  : SHA256", text)
            self.assertIn("Text description: Veltrix", text)
            self.assertIn("URL description: https://www.koravent.com", text)
            self.assertFalse(verify(path, ca=None)[0], name + " verified without the test authority")
            with tempfile.TemporaryDirectory() as work:
                changed = os.path.join(work, os.path.basename(name))
                shutil.copy(path, changed)
                with open(changed, "r+b") as f:
                    f.seek(4096)
                    byte = f.read(1)
                    f.seek(4096)
                    f.write(bytes([byte[0] ^ 1]))
                self.assertFalse(verify(changed)[0], name + " with a changed byte still verified")

    def test_an_installation_keeps_the_signatures_of_the_program_and_its_uninstaller(self):
        prefix = os.path.join(BUILD, "wine", "prefix", "drive_c")
        folder = os.path.join(prefix, "veltrix-signed")
        # A 64-bit prefix is 64-bit Windows, where the installer installs the 64-bit program.
        program = "x64/Veltrix.exe" if os.path.isdir(os.path.join(prefix, "windows", "syswow64")) else "Veltrix.exe"
        shutil.rmtree(folder, ignore_errors=True)
        self.assertEqual(0, wine(os.path.join(SIGNED, SETUP), "/S", "/CurrentUser", "/D=C:\\veltrix-signed"))
        try:
            with open(os.path.join(folder, "Veltrix.exe"), "rb") as installed, \
                    open(os.path.join(SIGNED, program), "rb") as shipped:
                self.assertEqual(shipped.read(), installed.read())
            for name in ("Veltrix.exe", "Uninstall.exe"):
                ok, text = verify(os.path.join(folder, name))
                self.assertTrue(ok, name + ":\n" + text)
        finally:
            # In place (_?=), so that it has ended when it returns; it removes the entry it made.
            wine(os.path.join(folder, "Uninstall.exe"), "/S", "/CurrentUser", "_?=C:\\veltrix-signed")
            shutil.rmtree(folder, ignore_errors=True)

    def test_on_32_bit_windows_the_installer_installs_the_32_bit_program(self):
        folder = os.path.join(WINE32, "prefix", "drive_c", "Program Files", "Veltrix")
        self.assertEqual(0, wine(os.path.join(SIGNED, SETUP), "/S", "/AllUsers", windows32=True))
        try:
            with open(os.path.join(folder, "Veltrix.exe"), "rb") as installed, \
                    open(os.path.join(SIGNED, "Veltrix.exe"), "rb") as shipped:
                self.assertEqual(shipped.read(), installed.read())
        finally:
            # The uninstaller hands its work to a copy of itself and ends at once: its work is awaited.
            wine(os.path.join(folder, "Uninstall.exe"), "/S", "/AllUsers", windows32=True)
            deadline = time.monotonic() + 60
            while os.path.exists(folder) and time.monotonic() < deadline:
                time.sleep(0.2)
        self.assertFalse(os.path.exists(folder), "the uninstaller left the folder")

    def test_the_checksums_list_every_artefact_and_match(self):
        with open(os.path.join(SIGNED, "SHA256SUMS"), encoding="utf-8") as f:
            lines = f.read().splitlines()
        names = [line.split("  ", 1)[1] for line in lines]
        self.assertEqual([SETUP, ZIP, ZIP64], names)
        check = subprocess.run(["sha256sum", "-c", "SHA256SUMS"], cwd=SIGNED, stdout=subprocess.PIPE, text=True)
        self.assertEqual(0, check.returncode, check.stdout)
        with tempfile.TemporaryDirectory() as work:
            for name in names + ["SHA256SUMS"]:
                shutil.copy(os.path.join(SIGNED, name), work)
            with open(os.path.join(work, ZIP), "ab") as f:
                f.write(b"\0")
            self.assertNotEqual(0, subprocess.run(["sha256sum", "--quiet", "-c", "SHA256SUMS"], cwd=work,
                                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode)

    def test_the_winget_manifests_hold_what_winget_requires_and_the_real_installer_hash(self):
        folder = os.path.join(SIGNED, "winget")
        def read(kind):
            with open(os.path.join(folder, "Koravent.Veltrix%s.yaml" % kind), encoding="utf-8") as f:
                return yaml.safe_load(f)
        version, locale, installer = read(""), read(".locale.en-US"), read(".installer")
        for manifest, kind in ((version, "version"), (locale, "defaultLocale"), (installer, "installer")):
            self.assertEqual("Koravent.Veltrix", manifest["PackageIdentifier"])
            self.assertEqual(VERSION, manifest["PackageVersion"], "a string, not a number")
            self.assertEqual(kind, manifest["ManifestType"])
            self.assertEqual("1.6.0", manifest["ManifestVersion"])
        self.assertEqual("en-US", version["DefaultLocale"])
        for field in ("PackageLocale", "Publisher", "PackageName", "License", "ShortDescription"):
            self.assertTrue(locale.get(field), field)
        self.assertEqual("MIT", locale["License"])
        self.assertEqual("nullsoft", installer["InstallerType"])
        self.assertEqual("/S", installer["InstallerSwitches"]["Silent"])
        self.assertEqual("Veltrix", installer["AppsAndFeaturesEntries"][0]["ProductCode"])
        # The one installer for both architectures and both scopes.
        entries = {(entry["Architecture"], entry["Scope"]): entry for entry in installer["Installers"]}
        self.assertEqual({("x86", "user"), ("x86", "machine"), ("x64", "user"), ("x64", "machine")}, set(entries))
        for (architecture, scope), entry in entries.items():
            self.assertEqual({"user": "/CurrentUser", "machine": "/AllUsers"}[scope],
                             entry["InstallerSwitches"]["Custom"])
            self.assertTrue(entry["InstallerUrl"].startswith("https://") and entry["InstallerUrl"].endswith("/" + SETUP))
            self.assertEqual(sha256(os.path.join(SIGNED, SETUP)).upper(), entry["InstallerSha256"])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
