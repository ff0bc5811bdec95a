#!/usr/bin/env python3
"""vesmora-cli pacs against a real Orthanc started here on the loopback address: settings, C-ECHO,
C-STORE of the sample studies read back over Orthanc's REST API, C-FIND by patient and date,
C-GET of a series opened as "Ouvrir" opens a file, and the failures (wrong AE titles, a closed
port, an unknown series, Orthanc killed half-way through a retrieval). Exits 77 (skipped) when
Orthanc is not installed."""
import glob
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

import pydicom

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build", "default")
SAMPLES = sorted(glob.glob(os.path.join(os.path.abspath(BINARY), "samples", "*.dcm")))
ORTHANC = shutil.which("Orthanc") or shutil.which("Orthanc", path="/usr/sbin")
OUR_AET, PEER_AET = "VESMORA_TEST", "ORTHANC_TEST"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Orthanc:
    """One Orthanc in a temporary folder: loopback clients only, our AE title its one known modality
    (so only it may echo, find, get and store), the called AE title checked, no authentication."""

    def __init__(self, extra=None):
        self.tmp = tempfile.TemporaryDirectory(prefix="vesmora-orthanc-")
        self.dicom_port, self.http_port = free_port(), free_port()
        config = {
            "Name": "VesmoraTest",
            "StorageDirectory": os.path.join(self.tmp.name, "db"),
            "IndexDirectory": os.path.join(self.tmp.name, "db"),
            "Plugins": [],
            "HttpServerEnabled": True, "HttpPort": self.http_port,
            "RemoteAccessAllowed": False, "AuthenticationEnabled": False,
            "DicomServerEnabled": True, "DicomAet": PEER_AET, "DicomPort": self.dicom_port,
            "DicomCheckCalledAet": True, "DicomCheckModalityHost": True,
            "DicomModalities": {"vesmora": {"AET": OUR_AET, "Host": "127.0.0.1", "Port": 1,
                                            "AllowEcho": True, "AllowFind": True, "AllowGet": True,
                                            "AllowStore": True, "AllowMove": False}},
            "DicomAlwaysAllowEcho": False, "DicomAlwaysAllowStore": False,
            "DicomAlwaysAllowFind": False, "DicomAlwaysAllowGet": False, "DicomAlwaysAllowMove": False,
            "DefaultEncoding": "Latin1", "SaveJobs": False, "StorageCompression": False,
        }
        config.update(extra or {})
        path = os.path.join(self.tmp.name, "orthanc.json")
        with open(path, "w") as f:
            json.dump(config, f)
        self.log = open(os.path.join(self.tmp.name, "orthanc.log"), "w")
        self.proc = subprocess.Popen([ORTHANC, path], stdout=self.log, stderr=subprocess.STDOUT)
        try:
            deadline = time.time() + 30
            while True:
                try:
                    self.rest("/system")
                    break
                except OSError:
                    if self.proc.poll() is not None or time.time() > deadline:
                        raise RuntimeError("Orthanc did not start: " + open(self.log.name).read()[-2000:])
                    time.sleep(0.1)
        except BaseException:
            self.stop()
            raise

    def rest(self, path, raw=False, data=None):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.http_port}{path}", data=data, timeout=10) as r:
            body = r.read()
        return body if raw else json.loads(body)

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        self.tmp.cleanup()


class Base(unittest.TestCase):
    """An Orthanc for the class, stopped at its end whatever happens, and a settings folder of our own."""
    orthanc = None

    @classmethod
    def setUpClass(cls):
        if not SAMPLES:
            raise RuntimeError(f"no sample studies in {BINARY}/samples: build the target samples first")
        cls.orthanc = Orthanc()
        cls.addClassCleanup(cls.orthanc.stop)
        cls.home = tempfile.TemporaryDirectory(prefix="vesmora-pacs-")
        cls.addClassCleanup(cls.home.cleanup)
        cls.cli("pacs", "config", "--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{cls.orthanc.dicom_port}",
                "--dimse-timeout", "10", check=True)

    @classmethod
    def cli(cls, *args, config=None, check=False, **kw):
        env = dict(os.environ, XDG_CONFIG_HOME=config or cls.home.name)
        r = subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120, env=env, **kw)
        if check and r.returncode != 0:
            raise AssertionError(f"{args}: status {r.returncode}\n{r.stdout}{r.stderr}")
        return r

    def other_settings(self, *config_args):
        """A settings folder of the test's own, configured with config_args."""
        d = tempfile.TemporaryDirectory(prefix="vesmora-pacs-")
        self.addCleanup(d.cleanup)
        self.cli("pacs", "config", *config_args, config=d.name, check=True)
        return d.name


class GatedInArchive(Base):
    def test_a_gated_series_is_shown_gated_and_opens_summed_once_retrieved(self):
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        from test_syntaxes import gated_file
        gated = os.path.join(self.home.name, "gated.dcm")
        gated_file(gated, 4, 16, 32, sums_overflow=False)
        self.cli("pacs", "send", gated, check=True)
        lines = self.cli("pacs", "find", "--patient", "GATED", check=True).stdout.splitlines()
        self.assertEqual(lines[-1], "1 série(s)", lines)
        self.assertRegex(lines[1], r" 64 +oui \(4\)$")
        out = os.path.join(self.home.name, "got")
        self.cli("pacs", "get", pydicom.dcmread(gated).SeriesInstanceUID, "--out", out, check=True)
        [got] = glob.glob(os.path.join(out, "*.dcm"))
        r = self.cli("load", got)
        self.assertEqual(r.returncode, 0, r.stdout)
        self.assertIn("synchronisé (4 intervalles), sommé", r.stdout)
        self.assertIn("Frames     : 16\n", r.stdout)


class Archive(Base):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The build's sample studies, and one more with an accented name and a date of its own.
        cls.dupont = os.path.join(cls.home.name, "dupont.dcm")
        cls.cli("sample", cls.dupont, "--matrix", "64", "--frames", "48", "--name", "DUPONT^Hélène",
                "--acq-date", "20250314", check=True)
        cls.files = SAMPLES + [cls.dupont]
        cls.sent = cls.cli("pacs", "send", *cls.files)

    def test_settings_file_holds_the_archive_and_is_shown(self):
        with open(os.path.join(self.home.name, "vesmora", "pacs.json")) as f:
            saved = json.load(f)
        self.assertEqual((saved["aet"], saved["peer_aet"], saved["host"], saved["port"], saved["dimse_timeout"]),
                         (OUR_AET, PEER_AET, "127.0.0.1", self.orthanc.dicom_port, 10))
        shown = self.cli("pacs", "config", check=True).stdout
        self.assertIn(f"{PEER_AET}@127.0.0.1:{self.orthanc.dicom_port}", shown)
        bad = self.cli("pacs", "config", "--peer", "NOPORT@127.0.0.1")
        self.assertEqual(bad.returncode, 2, bad.stderr)
        bad = self.cli("pacs", "config", "--aet", "A_TITLE_OF_17_CHR")
        self.assertEqual(bad.returncode, 2)
        self.assertIn("16 caractères", bad.stderr)
        bad = self.cli("pacs", "config", "--peer", f"{PEER_AET}@hôpital.local:104")  # no longer saved
        self.assertEqual(bad.returncode, 2)
        self.assertIn("l'hôte « hôpital.local »", bad.stderr)
        with open(os.path.join(self.home.name, "vesmora", "pacs.json")) as f:
            self.assertEqual(json.load(f), saved)  # refused settings change nothing
        missing = self.cli("pacs", "echo", config=os.path.join(self.home.name, "none"))
        self.assertEqual(missing.returncode, 1)
        self.assertIn("Aucune archive configurée", missing.stderr)

    def test_echo(self):
        r = self.cli("pacs", "echo", check=True)
        self.assertIn(f"{PEER_AET}@127.0.0.1:{self.orthanc.dicom_port} répond", r.stdout)

    def test_sent_studies_read_back_over_rest(self):
        self.assertEqual(self.sent.returncode, 0, self.sent.stderr)
        self.assertIn(f"{len(self.files)} fichier(s) envoyé(s)", self.sent.stdout)
        self.assertEqual(len(self.orthanc.rest("/instances")), len(self.files))
        sent = pydicom.dcmread(self.dupont)
        [oid] = [i["ID"] for i in self.orthanc.rest("/tools/lookup", data=sent.SOPInstanceUID.encode())]
        tags = self.orthanc.rest(f"/instances/{oid}/simplified-tags")
        self.assertEqual((tags["PatientName"], tags["StudyDate"], tags["NumberOfFrames"]),
                         ("DUPONT^Hélène", "20250314", "48"))
        stored = self.orthanc.rest(f"/instances/{oid}/file", raw=True)
        pixels = 64 * 64 * 48 * 2
        with open(self.dupont, "rb") as f:
            self.assertEqual(stored[-pixels:], f.read()[-pixels:])

    def find(self, *args):
        r = self.cli("pacs", "find", *args, check=True)
        lines = r.stdout.splitlines()
        self.assertTrue(lines[0].startswith("Patient"), r.stdout)
        return lines[1:-1], lines[-1]

    def test_find_by_patient_and_by_date(self):
        rows, total = self.find("--patient", "DUPONT")
        self.assertEqual(total, "1 série(s)")
        uid = pydicom.dcmread(self.dupont).SeriesInstanceUID
        self.assertRegex(rows[0], rf"^DUPONT Hélène +14/03/2025 +LV phantom .* +{re.escape(uid)} +48 +(non|\?)$")
        self.assertEqual(self.find("--patient", "dupont*")[1], "1 série(s)")  # Orthanc matches names regardless of case
        self.assertEqual(self.find("--patient", "DUPONT Hél")[0], rows)  # typed as shown
        self.assertEqual(self.find("--date", "20250301-20250331")[0], rows)
        self.assertEqual(self.find("--date", "20250315-")[1], f"{len(SAMPLES)} série(s)")  # the samples are newer
        self.assertEqual(self.find("--date", "-20250313")[1], "0 série(s)")
        rows, total = self.find()
        self.assertEqual(total, f"{len(self.files)} série(s)")
        frames = sorted(int(r.split()[-2]) for r in rows)
        self.assertEqual(frames, sorted([48] + [64 if "-64" in s else 128 for s in SAMPLES]))
        # None of them is gated: the archive says so, or says nothing ("?").
        self.assertTrue(all(r.split()[-1] in ("non", "?") for r in rows), rows)
        self.assertEqual(self.find("--modality", "CT")[1], "0 série(s)")
        bad = self.cli("pacs", "find", "--date", "2025-03-14")
        self.assertEqual(bad.returncode, 2)

    def test_get_series_and_open_it(self):
        out = os.path.join(self.home.name, "got", "here")
        source = [s for s in SAMPLES if s.endswith("lad-128.dcm")][0]
        uid = pydicom.dcmread(source).SeriesInstanceUID
        r = self.cli("pacs", "get", uid, "--out", out, check=True)
        got = os.path.join(out, pydicom.dcmread(source).SOPInstanceUID + ".dcm")
        self.assertEqual(os.listdir(out), [os.path.basename(got)])
        self.assertIn("1 fichier(s) reçu(s)", r.stdout)
        self.assertEqual(pydicom.dcmread(got).file_meta.TransferSyntaxUID, "1.2.840.10008.1.2.1")
        opened, original = self.cli("load", got), self.cli("load", source)
        self.assertEqual(opened.returncode, 0, opened.stdout)
        # The same header values, volume, boxes and log as the file that was sent, but for its path.
        def shown(r, path):
            return [l for l in r.stdout.replace(path, "FILE").splitlines() if not l.startswith("--- /")]
        self.assertIn("Volume     : ", opened.stdout)
        self.assertEqual(shown(opened, got), shown(original, source))

    def test_desktop_dialogs(self):
        program = os.path.join(BINARY, "tests", "qt", "test_pacs_dialogs")
        if not os.path.exists(program):
            self.skipTest("the desktop program is not built (no Qt)")
        env = dict(os.environ, XDG_CONFIG_HOME=self.home.name, QT_QPA_PLATFORM="offscreen",
                   VESMORA_PACS_PATIENT="DUPONT",  # the sanitizer build: what the desktop libraries keep at exit
                   LSAN_OPTIONS="suppressions=" + os.path.join(os.path.abspath(SOURCE), "tests", "qt", "lsan.supp"))
        r = subprocess.run([program], capture_output=True, text=True, timeout=120, env=env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Totals: 4 passed, 0 failed, 1 skipped", r.stdout)

    def test_failures_name_what_failed(self):
        port = self.orthanc.dicom_port
        wrong_called = self.other_settings("--aet", OUR_AET, "--peer", f"NOT_ORTHANC@127.0.0.1:{port}")
        r = self.cli("pacs", "echo", config=wrong_called)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr.count("\n"), 1, r.stderr)
        self.assertIn(f"Association refusée par l'archive NOT_ORTHANC (127.0.0.1:{port})", r.stderr)
        wrong_calling = self.other_settings("--aet", "STRANGER", "--peer", f"{PEER_AET}@127.0.0.1:{port}")
        r = self.cli("pacs", "find", config=wrong_calling)
        self.assertEqual(r.returncode, 1)
        self.assertIn("« STRANGER »", r.stderr)
        closed = free_port()
        closed_port = self.other_settings("--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{closed}")
        r = self.cli("pacs", "get", "1.2.3", "--out", os.path.join(self.home.name, "never"), config=closed_port)
        self.assertEqual(r.returncode, 1)
        self.assertIn(f"(127.0.0.1:{closed}) impossible pour le C-GET : connexion refusée", r.stderr)
        r = self.cli("pacs", "send", self.dupont, config=closed_port)
        self.assertIn(f"(127.0.0.1:{closed}) impossible pour le C-STORE : connexion refusée", r.stderr)
        with socket.socket() as silent:  # takes the connection, never answers the association request
            silent.bind(("127.0.0.1", 0))
            silent.listen()
            mute = silent.getsockname()[1]
            config = self.other_settings("--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{mute}",
                                         "--connect-timeout", "1")
            start = time.time()
            r = self.cli("pacs", "echo", config=config)
            self.assertLess(time.time() - start, 5)
            self.assertIn(f"(127.0.0.1:{mute}) n'a pas répondu en 1 s (C-ECHO)", r.stderr)
        http = self.other_settings("--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{self.orthanc.http_port}")
        r = self.cli("pacs", "echo", config=http)
        self.assertIn("ce port ne répond pas en DICOM", r.stderr)
        r = self.cli("pacs", "get", "1.2.3.4", "--out", os.path.join(self.home.name, "never"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("Série 1.2.3.4 introuvable sur l'archive", r.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.home.name, "never")))
        r = self.cli("pacs", "send", os.path.join(SOURCE, "README.md"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("n'est pas un fichier DICOM lisible", r.stderr)


class Results(Base):
    """An analysis's Secondary Capture and SR stored by `analyze --send` and by the desktop's item."""

    def stored(self, study):
        uid = pydicom.dcmread(study).StudyInstanceUID
        [sid] = [s["ID"] for s in self.orthanc.rest("/studies?expand") if s["MainDicomTags"]["StudyInstanceUID"] == uid]
        return sorted(self.orthanc.rest(f"/series/{s}")["MainDicomTags"]["Modality"]
                      for s in self.orthanc.rest(f"/studies/{sid}")["Series"])

    def test_analysis_sent_joins_its_study(self):
        lad = [s for s in SAMPLES if s.endswith("lad-64.dcm")][0]
        r = self.cli("analyze", lad, "--send", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("2 objets envoyés", r.stderr)
        self.assertEqual(self.stored(lad), ["OT", "SR"])
        refused = self.cli("analyze", lad, "--send", config=self.other_settings(
            "--aet", OUR_AET, "--peer", f"NOT_ORTHANC@127.0.0.1:{self.orthanc.dicom_port}"))
        self.assertEqual(refused.returncode, 4, refused.stderr)
        self.assertIn("NOT_ORTHANC", refused.stderr)

    def test_desktop_sends_the_results(self):
        program = os.path.join(BINARY, "tests", "qt", "test_pacs_dialogs")
        if not os.path.exists(program):
            self.skipTest("the desktop program is not built (no Qt)")
        rca = [s for s in SAMPLES if s.endswith("rca-64.dcm")][0]
        env = dict(os.environ, XDG_CONFIG_HOME=self.home.name, QT_QPA_PLATFORM="offscreen",
                   VESMORA_PACS_SEND_STUDY=rca,
                   LSAN_OPTIONS="suppressions=" + os.path.join(os.path.abspath(SOURCE), "tests", "qt", "lsan.supp"))
        r = subprocess.run([program, "send_results_to_the_archive"], capture_output=True, text=True, timeout=120,
                           env=env)
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("PASS   : PacsDialogs::send_results_to_the_archive()", r.stdout)
        self.assertEqual(self.stored(rca), ["OT", "SR"])


class RetrievalFailures(Base):
    """Its own Orthanc, killed by the last test (unittest runs them in the order of their names)."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # A series of three instances, to be cut after the first.
        cls.three = pydicom.uid.generate_uid()
        files = []
        for n in range(3):
            ds = pydicom.dcmread([s for s in SAMPLES if "-64" in s][0])
            ds.SeriesInstanceUID, ds.SOPInstanceUID, ds.InstanceNumber = cls.three, pydicom.uid.generate_uid(), n + 1
            ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID
            files.append(os.path.join(cls.home.name, f"part{n}.dcm"))
            ds.save_as(files[-1])
        cls.cli("pacs", "send", *files, check=True)

    def test_cancelled_retrieval_leaves_nothing(self):
        out = os.path.join(self.home.name, "cancelled")
        r = self.cli("pacs", "get", self.three, "--out", out, "--cancel-at", "100000")
        self.assertEqual((r.returncode, r.stderr), (1, "vesmora-cli pacs get: Récupération annulée\n"))
        self.assertFalse(os.path.exists(out))

    def test_a_failure_status_of_the_retrieval_is_named_and_leaves_nothing(self):
        # A CT object: its C-STORE sub-operation has no presentation context, so Orthanc reports a failure.
        ds = pydicom.dcmread([s for s in SAMPLES if "-64" in s][0])
        ds.SOPClassUID = ds.file_meta.MediaStorageSOPClassUID = "1.2.840.10008.5.1.4.1.1.2"
        ds.StudyInstanceUID, ds.SeriesInstanceUID, ds.Modality = pydicom.uid.generate_uid(), pydicom.uid.generate_uid(), "CT"
        ct = os.path.join(self.home.name, "ct.dcm")
        ds.save_as(ct)
        self.cli("pacs", "send", ct, check=True)
        out = os.path.join(self.home.name, "ct")
        r = self.cli("pacs", "get", ds.SeriesInstanceUID, "--out", out)
        self.assertEqual(r.returncode, 1)
        self.assertRegex(r.stderr, r"^vesmora-cli pacs get: Échec de la récupération de la série \(C-GET\) depuis "
                                   rf"l'archive {PEER_AET} \(127.0.0.1:{self.orthanc.dicom_port}\) : statut 0x[AC][0-9A-F]{{3}} "
                                   r"\(.+\), 1 instance\(s\) non transmise\(s\)\n$")
        self.assertFalse(os.path.exists(out))

    def test_orthanc_killed_during_a_retrieval_leaves_no_partial_folder(self):
        series = self.three
        # The whole retrieval over its time-out: the folder made is removed.
        slow = self.other_settings("--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{self.orthanc.dicom_port}",
                                   "--transfer-timeout", "1")
        late = os.path.join(self.home.name, "late")
        r = self.cli("pacs", "get", series, "--out", late, "--slow", "25", config=slow)
        self.assertEqual(r.returncode, 1)
        self.assertIn(f"depuis l'archive {PEER_AET} (127.0.0.1:{self.orthanc.dicom_port}) a dépassé 1 s", r.stderr)
        self.assertFalse(os.path.exists(late))
        keep = os.path.join(self.home.name, "existing")
        os.mkdir(keep)
        out = os.path.join(keep, "series")
        env = dict(os.environ, XDG_CONFIG_HOME=self.home.name)
        get = subprocess.Popen([CLI, "pacs", "get", series, "--out", out, "--slow", "25"], env=env,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.time() + 30
        while not glob.glob(os.path.join(out, "*.dcm")) and time.time() < deadline and get.poll() is None:
            time.sleep(0.02)
        self.assertTrue(glob.glob(os.path.join(out, "*.dcm")), "no instance arrived")
        self.orthanc.proc.send_signal(signal.SIGKILL)
        stdout, stderr = get.communicate(timeout=60)
        self.assertEqual(get.returncode, 1, stdout + stderr)
        self.assertIn(f"l'archive {PEER_AET} (127.0.0.1:{self.orthanc.dicom_port})", stderr)
        self.assertIn("coupée pendant le C-GET", stderr)
        self.assertEqual(os.listdir(keep), [])  # the folder it made is gone, the one that was there stays


if __name__ == "__main__":
    if not ORTHANC:
        print("SKIPPED: Orthanc is not installed (Debian package orthanc): the PACS tests did not run")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
