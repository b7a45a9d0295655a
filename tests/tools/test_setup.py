"""tools/setup on a Debian mirror in the middle of a sync, with stand-ins for apt and dpkg first on PATH: update
exits 100 with one index of the wrong size, and an install resolves only with the release's suite (-t), or not at all.
"""
import os, pathlib, shutil, subprocess, tempfile, unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
INDEX = "http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
STAND_INS = {
    # Everything is installed but wine32, so the set-up has exactly one package to install.
    "dpkg-query": 'for a in "$@"; do [ "$a" = wine32:i386 ] && exit 1; done; printf "install ok installed"',
    "dpkg": "echo i386", "id": "echo 0", "update-alternatives": "exit 0",
    "apt-get": f"""echo "$*" >>"$APT_LOG"
if [ "$1" = update ]; then echo "E: Failed to fetch {INDEX}  File has unexpected size (374820 != 376004)." >&2; exit 100; fi
case " $* " in *" -t "*) [ "$WITH_SUITE" = ok ] && exit 0;; esac
echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages." >&2; exit 100""",
}


class SetupOnSyncingMirror(unittest.TestCase):
    def run_setup(self, with_suite):
        tree = pathlib.Path(self.enterContext(tempfile.TemporaryDirectory()))
        # A copy of tools/ whose third_party/ looks built: only the package step runs.
        (tree / "tools").mkdir()
        for name in ("setup", "apt-steps.sh"):
            shutil.copy2(ROOT / "tools" / name, tree / "tools")
        for built in ("sqlite3-0/sqlite3.c", "sqlite3-0/sqlite3.h", "libzip-i686/lib/libzip.a",
                      "libzip-i686/include/zip.h", "libzip-x86_64/lib/libzip.a", "libzip-x86_64/include/zip.h"):
            (tree / "third_party" / built).parent.mkdir(parents=True, exist_ok=True)
            (tree / "third_party" / built).touch()
        (tree / "bin").mkdir()
        for name, body in STAND_INS.items():
            (tree / "bin" / name).write_text("#!/bin/bash\n" + body + "\n")
            (tree / "bin" / name).chmod(0o755)
        log = tree / "apt.log"
        env = dict(os.environ, PATH=f"{tree / 'bin'}:{os.environ['PATH']}", APT_LOG=str(log), WITH_SUITE=with_suite)
        done = subprocess.run([str(tree / "tools" / "setup")], env=env, capture_output=True, text=True, timeout=120)
        return done, log.read_text().splitlines() if log.exists() else []

    def test_install_retries_with_the_release_suite(self):
        suite = dict(line.split("=", 1) for line in pathlib.Path("/etc/os-release").read_text().split("\n") if "=" in line)
        suite = suite["VERSION_CODENAME"].strip('"')
        for with_suite, ok in (("ok", True), ("fails", False)):
            with self.subTest(with_suite=with_suite):
                done, calls = self.run_setup(with_suite)
                self.assertIn(f"apt could not refresh {INDEX}; going on", done.stdout)
                self.assertIn(f"trying again with the {suite} suite preferred (-t {suite})", done.stdout)
                self.assertEqual([c.split()[0] for c in calls], ["update", "-o", "-o"])
                self.assertTrue(all("Acquire::Retries=" in c for c in calls), calls)
                self.assertNotIn(" -t ", calls[1])
                self.assertIn(f" -t {suite} install ", calls[2])
                self.assertTrue(calls[2].endswith(" wine32"), calls[2])
                self.assertEqual(done.returncode == 0, ok, done.stderr)
                self.assertEqual("tools/setup: done" in done.stdout, ok)
                if not ok:
                    self.assertIn("pkgProblemResolver::Resolve generated breaks", done.stderr)
                    self.assertIn("the Debian mirror may be in the middle of a sync", done.stderr)


if __name__ == "__main__":
    unittest.main()
