#!/usr/bin/python3
"""Install and package: `cmake --install` into a temporary DESTDIR puts the program
folder, the launchers, the desktop entry and the icons in place, the launchers start
the installed programs, and the .deb that CPack makes holds the same files.

Arguments (from CTest): source dir, binary dir.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unicodedata
import unittest

SOURCE_DIR, BINARY_DIR = sys.argv[1:3] if len(sys.argv) >= 3 else (None, None)

PROGRAM_FILES = ["vesmora", "vesmora-cli", "PALETS", "Aide.pdf", "vesmora.png"]
SHARED_FILES = [
    "share/applications/vesmora.desktop",
    "share/icons/hicolor/scalable/apps/vesmora.svg",
    "share/icons/hicolor/48x48/apps/vesmora.png",
    "share/icons/hicolor/64x64/apps/vesmora.png",
    "share/icons/hicolor/256x256/apps/vesmora.png",
]


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kw)


def tree(root):
    """Every file and link under root, as paths relative to it."""
    out = set()
    for folder, dirs, files in os.walk(root):
        for name in files + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            out.add(os.path.relpath(os.path.join(folder, name), root))
    return out


class Installed(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.mkdtemp(prefix="vesmora-install-")
        cls.dest = os.path.join(cls.tmp, "dest")
        env = dict(os.environ, DESTDIR=cls.dest)
        r = run(["cmake", "--install", BINARY_DIR, "--prefix", "/usr"], env=env)
        assert r.returncode == 0, r.stdout + r.stderr
        cls.usr = os.path.join(cls.dest, "usr")
        # The installed programs run with a home of their own (their log may go there).
        cls.env = dict(os.environ, HOME=os.path.join(cls.tmp, "home"), QT_QPA_PLATFORM="offscreen",
                       ASAN_OPTIONS="detect_leaks=0")
        cls.env.pop("XDG_STATE_HOME", None)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def test_program_folder_launchers_entry_and_icons_are_in_place(self):
        folder = os.path.join(self.usr, "lib", "vesmora")
        for name in PROGRAM_FILES:
            self.assertTrue(os.path.isfile(os.path.join(folder, name)), name)
        for name in ("vesmora", "vesmora-cli"):
            self.assertTrue(os.access(os.path.join(folder, name), os.X_OK), name)
            link = os.path.join(self.usr, "bin", name)
            self.assertEqual(os.readlink(link), "../lib/vesmora/" + name)  # relative: the tree can move
        for name in SHARED_FILES:
            self.assertTrue(os.path.isfile(os.path.join(self.usr, name)), name)
        with open(os.path.join(folder, "PALETS"), "rb") as a, open(os.path.join(SOURCE_DIR, "data", "PALETS"), "rb") as b:
            self.assertEqual(a.read(), b.read())

    def test_desktop_entry_opens_dicom_files_with_vesmora(self):
        entry = os.path.join(self.usr, "share", "applications", "vesmora.desktop")
        with open(entry, encoding="utf-8") as f:
            text = f.read()
        self.assertIn("\nExec=vesmora %f\n", text)
        self.assertIn("\nMimeType=application/dicom;\n", text)
        self.assertIn("\nIcon=vesmora\n", text)
        if shutil.which("desktop-file-validate") is None:
            self.skipTest("desktop-file-validate is not installed")
        r = run(["desktop-file-validate", entry])
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_guide_is_the_french_guide_with_its_pictures(self):
        pdf = os.path.join(self.usr, "lib", "vesmora", "Aide.pdf")
        if shutil.which("pdftotext") is None:
            self.skipTest("pdftotext is not installed")
        # NFKC: the ligatures ("fi") and the non-breaking blanks read as plain letters and blanks.
        text = " ".join(unicodedata.normalize("NFKC", run(["pdftotext", pdf, "-"]).stdout).split())
        for words in ("Guide de l'utilisateur", "Cliquez sur « Ouvrir »", "« Fixation : » suivie de la valeur",
                      "dans votre dossier d'état : $XDG_STATE_HOME/vesmora/log.txt"):
            self.assertIn(words, text)
        images = run(["pdfimages", "-list", pdf]).stdout.splitlines()[2:]
        self.assertGreaterEqual(len(images), 3)  # the three screenshots

    def test_launchers_start_the_installed_programs_from_their_folder(self):
        sample = os.path.join(BINARY_DIR, "samples", "normal-64.dcm")
        r = run([os.path.join(self.usr, "bin", "vesmora-cli"), "load", sample], env=self.env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Max data", r.stdout)
        self.assertNotIn("PALETS", r.stdout + r.stderr)  # found in the program folder: no box
        r = run([os.path.join(self.usr, "bin", "vesmora"), "--version"], env=self.env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Vesmora", r.stdout)

    def test_installed_program_keeps_its_log_in_the_users_state_folder(self):
        # The installed folder is not the user's to write: run as "nobody" when root (root writes anywhere),
        # else with the folder made read-only.
        folder = os.path.join(self.usr, "lib", "vesmora")
        home = os.path.join(self.tmp, "user-home")
        os.makedirs(home)
        if os.path.exists(os.path.join(folder, "log.txt")):
            os.remove(os.path.join(folder, "log.txt"))  # left by another case run as root
        sample = os.path.join(home, "normal-64.dcm")
        shutil.copy(os.path.join(BINARY_DIR, "samples", "normal-64.dcm"), sample)
        command = [os.path.join(self.usr, "bin", "vesmora-cli"), "load", "--app-folder", folder, sample]
        if os.geteuid() == 0:
            if shutil.which("runuser") is None:
                self.skipTest("root without runuser cannot run the program as another user")
            os.chmod(self.tmp, 0o755)
            for root, dirs, files in os.walk(home):
                os.chown(root, 65534, 65534)
                for name in files:
                    os.chown(os.path.join(root, name), 65534, 65534)
            command = ["runuser", "-u", "nobody", "--", "env", "HOME=" + home, "ASAN_OPTIONS=detect_leaks=0"] + command
        else:
            os.chmod(folder, 0o555)
        env = dict(self.env, HOME=home)
        r = run(command, env=env)
        if os.geteuid() != 0:
            os.chmod(folder, 0o755)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        log = os.path.join(home, ".local", "state", "vesmora", "log.txt")
        self.assertIn("--- %s ---" % log, r.stdout)
        with open(log) as f:
            self.assertIn("Max data : ", f.read())
        self.assertFalse(os.path.exists(os.path.join(folder, "log.txt")))

    def test_debian_package_holds_the_same_files_and_needs_qt(self):
        out = os.path.join(self.tmp, "package")
        r = run(["cpack", "-G", "DEB", "-B", out, "--config", os.path.join(BINARY_DIR, "CPackConfig.cmake")],
                cwd=BINARY_DIR)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        debs = [f for f in os.listdir(out) if f.endswith(".deb")]
        self.assertEqual(len(debs), 1, os.listdir(out))
        deb = os.path.join(out, debs[0])
        listing = run(["dpkg-deb", "-c", deb]).stdout.splitlines()
        packaged = set()
        for line in listing:
            path = line.split(None, 5)[5].split(" -> ")[0]
            if not path.endswith("/"):
                packaged.add(os.path.normpath(path))
        installed = {os.path.join("usr", p) for p in tree(self.usr)} - {"usr/lib/vesmora/log.txt"}  # a run's log
        self.assertEqual(packaged, installed)
        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout
        # qt6-translations-l10n: Qt's own dialogs in French; the guide's viewer when built with Qt PDF.
        wanted = ["libqt6widgets6", "libqt6gui6", "libstdc++6", "qt6-translations-l10n"]
        if "libQt6PdfWidgets" in run(["ldd", os.path.join(self.usr, "lib", "vesmora", "vesmora")]).stdout:
            wanted.append("libqt6pdfwidgets6")
        for package in wanted:
            self.assertIn(package, depends)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
