#!/usr/bin/env python3
"""vesmora-cli pacs over DICOM TLS against a real Orthanc that requires it (and our certificate):
certificates made here by openssl; echo, send, find, get and analyze --send succeed with the
authority that signed Orthanc's certificate; another authority, another host name, no certificate of
ours, plain TCP and a silent port all fail with a French message. Exits 77 (skipped) when Orthanc or
openssl is not installed."""
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

import pydicom

from test_pacs import BINARY, CLI, ORTHANC, OUR_AET, PEER_AET, SAMPLES, SOURCE, Orthanc

OPENSSL = shutil.which("openssl")


def openssl(*args):
    subprocess.run([OPENSSL, *args], check=True, capture_output=True)


def authority(folder, name):
    """A self-signed certificate authority: (certificate, key)."""
    pem, key = os.path.join(folder, name + ".pem"), os.path.join(folder, name + ".key")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", pem, "-days", "2",
            "-subj", f"/CN={name}")
    return pem, key


def signed(folder, name, ca, san):
    """A certificate for san (e.g. IP:127.0.0.1) signed by the authority ca: (certificate, key)."""
    pem, key, csr = (os.path.join(folder, name + ext) for ext in (".pem", ".key", ".csr"))
    ext = os.path.join(folder, name + ".ext")
    with open(ext, "w") as f:
        f.write(f"subjectAltName={san}\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", f"/CN={name}")
    openssl("x509", "-req", "-in", csr, "-CA", ca[0], "-CAkey", ca[1], "-CAcreateserial", "-out", pem,
            "-days", "2", "-extfile", ext)
    return pem, key


class Tls(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="vesmora-tls-")
        cls.addClassCleanup(cls.tmp.cleanup)
        d = cls.tmp.name
        cls.ca = authority(d, "hospital-ca")
        cls.other_ca = authority(d, "other-ca")
        server = signed(d, "orthanc", cls.ca, "IP:127.0.0.1")
        cls.client = signed(d, "vesmora", cls.ca, "DNS:vesmora.invalid")
        cls.orthanc = Orthanc({"DicomTlsEnabled": True, "DicomTlsCertificate": server[0],
                               "DicomTlsPrivateKey": server[1], "DicomTlsTrustedCertificates": cls.ca[0],
                               "DicomTlsRemoteCertificateRequired": True})
        cls.addClassCleanup(cls.orthanc.stop)
        cls.port = cls.orthanc.dicom_port
        cls.home = cls.settings("--tls", "--ca", cls.ca[0], "--cert", cls.client[0], "--key", cls.client[1])

    @classmethod
    def settings(cls, *args, host="127.0.0.1", check=True):
        """A settings folder of its own for the archive with these options (or the refused command)."""
        d = tempfile.mkdtemp(dir=cls.tmp.name)
        r = cls.cli("pacs", "config", "--aet", OUR_AET, "--peer", f"{PEER_AET}@{host}:{cls.port}", *args, config=d)
        if check and r.returncode != 0:
            raise AssertionError(r.stderr)
        return d if check else r

    @classmethod
    def cli(cls, *args, config=None):
        env = dict(os.environ, XDG_CONFIG_HOME=config or cls.home)
        return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=120, env=env)

    def test_every_service_over_tls(self):
        shown = self.cli("pacs", "config").stdout
        self.assertIn(f"TLS            : oui, autorité {self.ca[0]}", shown)
        r = self.cli("pacs", "echo")
        self.assertEqual(r.returncode, 0, r.stderr)
        lad = [s for s in SAMPLES if s.endswith("lad-64.dcm")][0]
        r = self.cli("pacs", "send", lad)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(self.orthanc.rest("/instances")), 1)
        r = self.cli("pacs", "find")
        self.assertEqual((r.returncode, r.stdout.splitlines()[-1]), (0, "1 série(s)"), r.stderr)
        out = os.path.join(self.tmp.name, "got")
        r = self.cli("pacs", "get", pydicom.dcmread(lad).SeriesInstanceUID, "--out", out)
        self.assertEqual((r.returncode, len(os.listdir(out))), (0, 1), r.stderr)
        r = self.cli("analyze", lad, "--send")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(self.orthanc.rest("/instances")), 3)
        # The desktop's "Archive (PACS)…" loads the TLS fields and "Tester" uses them.
        program = os.path.join(BINARY, "tests", "qt", "test_pacs_dialogs")
        if os.path.exists(program):
            env = dict(os.environ, XDG_CONFIG_HOME=self.home, QT_QPA_PLATFORM="offscreen",
                       LSAN_OPTIONS="suppressions=" + os.path.join(os.path.abspath(SOURCE), "tests", "qt", "lsan.supp"))
            r = subprocess.run([program, "settings_dialog_tests_without_saving"], capture_output=True, text=True,
                               timeout=120, env=env)
            self.assertEqual(r.returncode, 0, r.stdout + r.stderr)

    def test_untrusted_or_plain_connections_fail_and_say_why(self):
        ours = ("--cert", self.client[0], "--key", self.client[1])
        where = f"l'archive {PEER_AET} (127.0.0.1:{self.port}) impossible pour le C-ECHO : "
        r = self.cli("pacs", "echo", config=self.settings("--tls", "--ca", self.other_ca[0], *ours))
        self.assertEqual(r.returncode, 1)
        self.assertIn(where + "certificat de l'archive refusé : il n'est pas signé par l'autorité de "
                      + self.other_ca[0], r.stderr)
        r = self.cli("pacs", "send", SAMPLES[0], config=self.settings("--tls", "--ca", self.ca[0], *ours,
                                                                       host="localhost"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("il ne porte pas le nom « localhost »", r.stderr)
        r = self.cli("pacs", "echo", config=self.settings("--tls", "--ca", self.ca[0]))  # Orthanc wants ours
        self.assertEqual(r.returncode, 1)
        self.assertIn("mis fin à la session TLS (attend-elle un certificat de ce poste", r.stderr)
        start = time.time()
        r = self.cli("pacs", "echo", config=self.settings("--connect-timeout", "3"))  # plain TCP
        self.assertEqual(r.returncode, 1)
        self.assertLess(time.time() - start, 8)
        self.assertIn(f"l'archive {PEER_AET} (127.0.0.1:{self.port}) coupée pendant le C-ECHO (l'archive exige-t-elle TLS ?)",
                      r.stderr)
        with socket.socket() as silent:  # takes the connection, never answers the handshake
            silent.bind(("127.0.0.1", 0))
            silent.listen()
            config = tempfile.mkdtemp(dir=self.tmp.name)
            self.cli("pacs", "config", "--aet", OUR_AET, "--peer", f"{PEER_AET}@127.0.0.1:{silent.getsockname()[1]}",
                     "--connect-timeout", "1", "--tls", "--ca", self.ca[0], config=config)
            start = time.time()
            r = self.cli("pacs", "echo", config=config)
            self.assertLess(time.time() - start, 5)
            self.assertEqual(r.returncode, 1)
            self.assertIn("impossible pour le C-ECHO : pas de réponse en 1 s à la négociation TLS", r.stderr)

    def test_settings_refused_when_the_tls_files_do_not_hold_together(self):
        cases = [(("--tls",), "sans le certificat de l'autorité de certification (--ca)"),
                 (("--tls", "--ca", self.ca[0], "--cert", self.client[0]), "vont ensemble (--cert et --key)"),
                 (("--tls", "--ca", os.path.join(self.tmp.name, "none.pem")), "le certificat de l'autorité est illisible")]
        for args, why in cases:
            r = self.settings(*args, check=False)
            self.assertEqual(r.returncode, 2, args)
            self.assertIn(why, r.stderr)
        plain = self.settings("--tls", "--ca", self.ca[0])
        self.assertEqual(self.cli("pacs", "config", "--no-tls", config=plain).returncode, 0)
        self.assertIn("TLS            : non", self.cli("pacs", "config", config=plain).stdout)
        # An authority moved after saving, and a key that is not the certificate's: named when connecting.
        moved = os.path.join(self.tmp.name, "moved-ca.pem")
        shutil.copy(self.ca[0], moved)
        config = self.settings("--tls", "--ca", moved)
        os.remove(moved)
        r = self.cli("pacs", "echo", config=config)
        self.assertEqual(r.returncode, 1)
        self.assertIn(f"impossible pour le C-ECHO : TLS : certificat de l'autorité illisible ({moved})", r.stderr)
        mixed = self.settings("--tls", "--ca", self.ca[0], "--cert", self.client[0], "--key", self.ca[1])
        r = self.cli("pacs", "echo", config=mixed)
        self.assertEqual(r.returncode, 1)
        self.assertIn("ne correspond pas au certificat", r.stderr)


if __name__ == "__main__":
    if not ORTHANC or not OPENSSL:
        print("SKIPPED: Orthanc or openssl is not installed: the DICOM TLS tests did not run")
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[4:], verbosity=2)
