#!/usr/bin/env python3
"""The automatic placement reached from the command line: `load --auto` and the replay
line `auto` place the same model on a sample study, within the targets of the phantom's
own model (README, "Sample studies"), and report a refusal by their exit status and box.

Arguments (from CTest): path of vesmora-cli, source dir, binary dir.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli"
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else "build/default"

# The sample phantom: centre 128, outer semi-axes 70, 25, 25, base plane 128.
MODEL_KEYS = ("ell_c", "ell_r", "ill_c", "ill_r", "plan_i", "apex_i", "sect_i")


def printed_model(stdout):
    model = {}
    for line in stdout.splitlines():
        name, _, values = line.partition(":")
        if name.strip() in MODEL_KEYS:
            model[name.strip()] = [int(v) for v in values.split()]
    return model


class AutoPlaceCommandLine(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name
        shutil.copy(os.path.join(os.path.dirname(CLI), "PALETS"), self.dir)

    def tearDown(self):
        self.tmp.cleanup()

    def run_cli(self, *args):
        return subprocess.run([CLI, *args, "--app-folder", self.dir], capture_output=True, text=True, timeout=300)

    def test_load_auto_and_the_replay_line_place_the_same_model_within_the_targets(self):
        study = os.path.join(BINARY, "samples", "lcx-128.dcm")
        r = self.run_cli("load", study, "--auto")
        self.assertEqual(r.returncode, 0, r.stdout + r.stderr)
        self.assertIn("Model      : placed automatically", r.stdout)
        m = printed_model(r.stdout)
        ci, cj, ck = m["ell_c"]
        ri, rj, rk = m["ell_r"]
        self.assertLessEqual(abs(cj - 128), 2)
        self.assertLessEqual(abs(ck - 128), 2)
        self.assertLessEqual(abs(ci + ri - 198), 3)
        self.assertLessEqual(abs(m["plan_i"][0] - 128), 3)
        self.assertLessEqual(abs(rj - 25), 2.5)
        self.assertLessEqual(abs(rk - 25), 2.5)
        self.assertEqual(m["ill_c"], [ci, cj, ck])
        self.assertEqual(m["sect_i"][4], ci + ri)

        state = os.path.join(self.dir, "state.txt")
        script = os.path.join(self.dir, "auto.replay")
        with open(script, "w") as f:
            f.write(f"open {study}\nauto\ndump state {state}\n")
        r = subprocess.run([CLI, "replay", script, "--app-folder", self.dir], capture_output=True, text=True,
                           timeout=300)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(state) as f:
            s = {line.split()[0]: [int(v) for v in line.split()[1:]] for line in f if line.split()[0] in
                 ("ell_ok", "ell_ci", "ell_cj", "ell_ck", "ell_ri", "plan_i", "sect_i")}
        self.assertEqual(s["ell_ok"], [1])
        self.assertEqual([s["ell_ci"][0], s["ell_cj"][0], s["ell_ck"][0]], m["ell_c"])
        self.assertEqual(s["ell_ri"][0], ri)
        self.assertEqual(s["plan_i"], m["plan_i"])
        self.assertEqual(s["sect_i"], m["sect_i"])

    def test_a_study_without_a_ventricle_is_loaded_but_the_placement_refused(self):
        # A tiny heart drowned in a liver five times as bright, blurred to 40 mm: no ring left.
        study = os.path.join(self.dir, "blob.dcm")
        r = subprocess.run([CLI, "sample", study, "--scale", "0.5", "--wall", "8", "--fwhm", "40", "--liver", "400",
                            "--liver-near", "30"], capture_output=True, text=True, timeout=300)
        self.assertEqual(r.returncode, 0, r.stderr)
        r = self.run_cli("load", study, "--auto")
        self.assertEqual(r.returncode, 1, r.stdout)
        self.assertIn("Loaded     : yes", r.stdout)
        self.assertIn("Model      : not found", r.stdout)
        self.assertIn("Aucun ventricule gauche n'a été trouvé", r.stdout)


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0]], verbosity=2)
