#!/usr/bin/env python3
"""vesmora-cli as a user runs it: the program's own exits, each run's own log, the reasons
of a refusal, accented names in the sample studies and the units of the sizes printed."""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import pydicom

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build", "default")
NORMAL = os.path.abspath(os.path.join(BINARY, "samples", "normal-64.dcm"))
LAD = os.path.abspath(os.path.join(BINARY, "samples", "lad-64.dcm"))


def cli(*args, **kw):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300, **kw)


def log_of(out):
    """The printed log: its header line and its text."""
    m = re.search(r"^--- (/\S*log\.txt) ---\n(.*)", out, re.S | re.M)
    return (m.group(1), m.group(2)) if m else (None, None)


class Base(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()


class ProgramEndsItself(Base):
    def test_rescaled_file_no_longer_ends_the_program_and_is_refused_for_its_own_reason(self):
        # The program used to end (status 1, "R-SI") on any rescale element.
        dcm = os.path.join(self.dir, "rescaled.dcm")
        with open(dcm, "wb") as f:  # "DICM", then a Rescale Slope after the patient's name, no frames
            meta = b"\x02\x00\x10\x00UI\x14\x001.2.840.10008.1.2.1\0"
            name = b"\x10\x00\x10\x00PN\x08\x00DOE^JOHN"
            f.write(b"\0" * 128 + b"DICM" + meta + name + b"\x28\x00\x53\x10DS\x02\x001 " + b"\0" * 64)
        r = cli("load", dcm)
        self.assertEqual(r.returncode, 1, r.stdout + r.stderr)
        self.assertIn("Loaded     : no", r.stdout)
        self.assertNotIn("ended itself", r.stdout)
        self.assertNotIn("R-SI", r.stdout)
        self.assertIn("Nombre de coupes insuffisant (0)", r.stdout)
        _, log = log_of(r.stdout)
        self.assertIn("PAT name : DOE JOHN\n RESCALE : slope 1  -  intercept 0\n---", log)

    def test_a_reservation_made_to_fail_is_reported_with_status_33_the_box_and_the_log(self):
        # What the tool shows of it; every reservation and its code is tested in tests/inject/.
        for n, code in ((1, "char"), (9, "char"), (18, "DRE-0")):
            r = cli("load", NORMAL, "--fail-reservation", str(n))
            self.assertEqual(r.returncode, 33, f"reservation {n}: {r.stdout}{r.stderr}")
            self.assertIn("Exit       : the program ended itself with status 33", r.stdout)
            m = re.search(r'--- box "Désolé, le programme doit fermer..." ---\nErreur Mémoire\. Code  (\S+) \n',
                          r.stdout)
            self.assertTrue(m, f"reservation {n}: {r.stdout}")
            self.assertEqual(m.group(1), code, n)
            if n == 1:  # the first text buffer: before the program folder is known
                self.assertIn("--- no log: the program ended before it made its log ---", r.stdout)
            elif n == 18:
                self.assertIn("Loading DCM infos", log_of(r.stdout)[1], n)
        r = cli("load", NORMAL, "--fail-reservation", "100000")  # past the last reservation: the study loads
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Loaded     : yes", r.stdout)


class EachRunItsOwnLog(Base):
    def test_two_runs_at_once_print_each_its_own_log_and_leave_no_folder_behind(self):
        runs = [subprocess.Popen([CLI, "load", study], stdout=subprocess.PIPE, text=True) for study in (NORMAL, LAD)]
        outs = [p.communicate(timeout=300)[0] for p in runs]
        self.assertEqual([p.returncode for p in runs], [0, 0], outs)
        paths = []
        for out, own, other in zip(outs, ("NORMAL", "LAD"), ("LAD", "NORMAL")):
            path, log = log_of(out)
            self.assertEqual(log.count("Loading DCM infos"), 1, log)
            self.assertIn(f"PAT name : ANONYME {own}", log)
            self.assertNotIn(other, log)
            self.assertNotEqual(os.path.dirname(path), os.path.dirname(CLI))
            self.assertFalse(os.path.exists(os.path.dirname(path)), "the private folder is removed")
            paths.append(path)
        self.assertNotEqual(paths[0], paths[1])

    def test_a_log_that_cannot_be_written_is_said_so(self):
        shutil.copy(os.path.join(os.path.dirname(CLI), "PALETS"), self.dir)
        os.mkdir(os.path.join(self.dir, "log.txt"))
        # Nor can the user's state folder take it: HOME runs through a plain file.
        blocker = os.path.join(self.dir, "not-a-folder")
        open(blocker, "w").close()
        env = {k: v for k, v in os.environ.items() if k != "XDG_STATE_HOME"}
        env["HOME"] = os.path.join(blocker, "home")
        r = cli("load", NORMAL, "--app-folder", self.dir, env=env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn(f"--- {self.dir}/log.txt not written: Is a directory ---", r.stdout)


class Refusals(Base):
    def test_a_file_that_cannot_be_opened_says_why(self):
        missing = os.path.join(self.dir, "none.dcm")
        for command in ("header", "load"):
            for path, why in ((missing, " — détail : No such file or directory"), (self.dir, " : c'est un dossier")):
                r = cli(command, path)
                self.assertEqual(r.returncode, 2, r.stdout + r.stderr)
                self.assertEqual(r.stderr, f"vesmora-cli {command}: impossible d'ouvrir {path}{why}\n")

    def test_an_app_folder_too_long_for_the_programs_paths_is_refused(self):
        fits = os.path.join(self.dir, "f" * (250 - len(self.dir) - 1))
        too_long = fits + "g"
        os.makedirs(fits)
        for command in ("header", "load", "replay"):
            r = cli(command, NORMAL, "--app-folder", too_long)
            self.assertEqual(r.returncode, 2, r.stdout + r.stderr)
            self.assertIn(f"--app-folder refusé : le dossier {too_long} fait 251 octets", r.stderr)
            self.assertIn("au plus 250", r.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), [os.path.basename(fits)])  # no log beside it
        r = cli("header", NORMAL, "--app-folder", fits + "/")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertEqual(log_of(r.stdout)[0], fits + "/log.txt")
        self.assertTrue(os.path.getsize(fits + "/log.txt") > 0)

    def test_unknown_subcommand_and_version(self):
        r = cli("laod", NORMAL)
        self.assertEqual(r.returncode, 2)
        self.assertIn("unknown subcommand 'laod'; the subcommands are header, sample, replay, load", r.stderr)
        with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
            version = re.search(r"project\(Vesmora VERSION (\S+)", f.read()).group(1)
        r = cli("--version")
        self.assertEqual((r.returncode, r.stdout.strip()), (0, f"vesmora-cli {version}"))


class SampleNames(Base):
    def test_accented_name_is_written_in_latin_1_and_read_back_as_written(self):
        out = os.path.join(self.dir, "accents.dcm")
        name = "Hélène^Dupré-Çà"
        r = cli("sample", out, "--matrix", "64", "--frames", "8", "--no-noise", "--name", name)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("64 x 64 pixels of 4.7952 mm, 8 frames 4.7952 mm thick", r.stdout)
        ds = pydicom.dcmread(out)
        self.assertEqual(ds.SpecificCharacterSet, "ISO_IR 100")
        self.assertEqual(str(ds.PatientName), name)
        self.assertEqual(ds[0x0010, 0x0010].value.original_string.rstrip(b" "), name.encode("latin-1"))
        dump = subprocess.run(["dcmdump", "+U8", "+P", "0010,0010", out], capture_output=True)
        self.assertIn(f"[{name}]".encode("utf-8"), dump.stdout, dump.stdout + dump.stderr)
        for beyond in ("Łukasz", "Zoë\udcff"):
            r = subprocess.run([CLI, "sample", os.path.join(self.dir, "no.dcm"), "--name", beyond],
                               capture_output=True, timeout=60)
            self.assertEqual(r.returncode, 2)
            self.assertIn(b"Latin-1", r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "no.dcm")))
        # Opened from a path in UTF-8: the caption prints the path as written, as the desktop shows it.
        accented = os.path.join(self.dir, "étude à lire.dcm")
        shutil.copy(out, accented)
        r = cli("load", accented)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn(f"Caption    :   Vesmora    -    [ {accented} ]\n", r.stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
