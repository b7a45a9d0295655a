"""tools/setup against a Debian mirror in the middle of a sync, with stand-ins for apt and dpkg first on PATH.

The stand-in apt-get answers as such a mirror did: update exits 100 with one index of the wrong size, and an
install resolves only with the release's own suite preferred (-t), or not at all.
"""
import os
import pathlib
import shutil
import subprocess
import tempfile
import textwrap
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
FAILED_INDEX = "http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"

STAND_INS = {
    # Everything is installed but wine32, so the set-up has exactly one package to install.
    "dpkg-query": """
        for a in "$@"; do [ "$a" = wine32:i386 ] && exit 1; done
        printf 'install ok installed'""",
    "dpkg": 'echo i386',
    "id": 'echo 0',
    "update-alternatives": 'exit 0',
    "apt-get": f"""
        echo "$*" >>"$APT_LOG"
        case "$1" in
        update)
            echo "E: Failed to fetch {FAILED_INDEX}  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
            exit 100;;
        esac
        case " $* " in
        *" -t "*) [ "$WITH_SUITE" = ok ] && exit 0;;
        esac
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2
        exit 100""",
}


def codename():
    for line in pathlib.Path("/etc/os-release").read_text().splitlines():
        if line.startswith("VERSION_CODENAME="):
            return line.split("=", 1)[1].strip('"')
    raise unittest.SkipTest("no VERSION_CODENAME in /etc/os-release")


class SetupOnSyncingMirror(unittest.TestCase):
    def run_setup(self, with_suite):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        # The script runs from a copy of tools/ whose third_party/ looks built, so that only its package
        # step runs, whatever the state of the work tree.
        tree = pathlib.Path(scratch.name)
        (tree / "tools").mkdir()
        for name in ("setup", "apt-steps.sh"):
            shutil.copy2(ROOT / "tools" / name, tree / "tools" / name)
        for built in ("sqlite3-0/sqlite3.c", "sqlite3-0/sqlite3.h", "libzip-i686/lib/libzip.a",
                      "libzip-i686/include/zip.h", "libzip-x86_64/lib/libzip.a", "libzip-x86_64/include/zip.h"):
            (tree / "third_party" / built).parent.mkdir(parents=True, exist_ok=True)
            (tree / "third_party" / built).touch()
        bin_dir = tree / "bin"
        bin_dir.mkdir()
        for name, body in STAND_INS.items():
            path = bin_dir / name
            path.write_text("#!/bin/bash\n" + textwrap.dedent(body).strip() + "\n")
            path.chmod(0o755)
        log = bin_dir / "apt.log"
        env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", APT_LOG=str(log), WITH_SUITE=with_suite)
        done = subprocess.run([str(tree / "tools" / "setup")], env=env, capture_output=True, text=True, timeout=120)
        calls = log.read_text().splitlines() if log.exists() else []
        return done, calls

    def test_install_retries_with_the_release_suite(self):
        suite = codename()
        for with_suite, expect_ok in (("ok", True), ("fails", False)):
            with self.subTest(with_suite=with_suite):
                done, calls = self.run_setup(with_suite)
                self.assertIn(f"apt could not refresh {FAILED_INDEX}; going on", done.stdout)
                self.assertIn(f"trying again with the {suite} suite preferred (-t {suite})", done.stdout)
                self.assertEqual([c.split()[0] for c in calls], ["update", "-o", "-o"])
                self.assertTrue(all("Acquire::Retries=" in c for c in calls), calls)
                self.assertNotIn(" -t ", calls[1])
                self.assertIn(f" -t {suite} install ", calls[2])
                self.assertTrue(calls[2].endswith(" wine32"), calls[2])
                if expect_ok:
                    self.assertEqual(done.returncode, 0, done.stderr)
                    self.assertIn("tools/setup: done", done.stdout)
                else:
                    self.assertNotEqual(done.returncode, 0)
                    self.assertNotIn("tools/setup: done", done.stdout)
                    self.assertIn("pkgProblemResolver::Resolve generated breaks", done.stderr)
                    self.assertIn("the Debian mirror may be in the middle of a sync", done.stderr)


if __name__ == "__main__":
    unittest.main()
