#!/usr/bin/env python3
"""vesmora-cli analyze --stress/--rest/--pairs on phantom pairs of one patient: the reversible
territory's SDS high and the fixed one's not, the sums and classes following the two records (each
equal to analyze of that study alone), the pair's outputs, and two patients refused."""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
ID_RESULTS = 45  # "R\u00e9sultats" (src/layout.h)
TERRITORY = {"LAD": {1, 2, 7, 8, 13, 14, 17}, "RCA": {3, 4, 9, 10, 15}, "LCx": {5, 6, 11, 12, 16}}


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)


def klass(stress, rest):
    return "normal" if stress == 0 else "reversible" if rest == 0 else "partially-reversible" if rest < stress else "fixed"


class Pair(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.dir = cls.tmp.name
        # LAD reversible, RCA fixed; and another patient: LCx fixed.
        cls.make("a-stress.dcm", "--lad", "60", "--rca", "50", "--rest-out", cls.path("a-rest.dcm"), "--fixed", "rca")
        cls.make("b-stress.dcm", "--lcx", "60", "--seed", "7", "--rest-out", cls.path("b-rest.dcm"), "--fixed", "lcx")

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    @classmethod
    def path(cls, name):
        return os.path.join(cls.dir, name)

    @classmethod
    def make(cls, out, *args):
        r = cli("sample", cls.path(out), *args)
        assert r.returncode == 0, r.stderr

    def check_pair(self, pair, reversible, fixed):
        s, r, c = pair["stress"], pair["rest"], pair["comparison"]
        self.assertEqual(s["patient"]["id"], r["patient"]["id"])
        self.assertEqual(c["sss"], s["summed_score"])
        self.assertEqual(c["srs"], r["summed_score"])
        diffs = {}
        for seg, ss, rs in zip(c["segments"], s["segments"], r["segments"]):
            self.assertEqual((seg["stress_score"], seg["rest_score"]), (ss["score"], rs["score"]))
            self.assertEqual(seg["difference"], ss["score"] - rs["score"])
            self.assertEqual(seg["class"], klass(ss["score"], rs["score"]), seg)
            diffs[seg["number"]] = seg["difference"]
        self.assertEqual(c["sds"], sum(max(0, d) for d in diffs.values()))
        self.assertAlmostEqual(c["percent_ischemic"], c["sds"] / 68 * 100)
        for t, segs in TERRITORY.items():
            self.assertEqual(c["territories"][t]["sds"], sum(max(0, diffs[n]) for n in segs), t)
        terr = c["territories"]
        if reversible:
            self.assertGreaterEqual(terr[reversible]["sds"], 5, terr)
            self.assertGreaterEqual(sum(seg["class"] in ("reversible", "partially-reversible")
                                        for seg in c["segments"] if seg["number"] in TERRITORY[reversible]), 3)
        self.assertGreater(terr[fixed]["sss"], 2, terr)
        self.assertLessEqual(terr[fixed]["sds"], 1, terr)
        self.assertGreaterEqual(sum(seg["class"] == "fixed" for seg in c["segments"] if seg["number"] in TERRITORY[fixed]), 2)

    def test_reversible_and_fixed_territories_with_every_output(self):
        out = self.path("one")
        r = cli("analyze", "--stress", self.path("a-stress.dcm"), "--rest", self.path("a-rest.dcm"), "--json", "-",
                "--pdf", out, "--png", out, "--dicom", out)
        self.assertEqual(r.returncode, 0, r.stderr)
        pair = json.loads(r.stdout)
        self.check_pair(pair, "LAD", "RCA")
        self.assertIn(pair["comparison"]["ischemia"], ("moderate", "severe"))
        for key, name in (("pdf", "a-stress-a-rest-paire.pdf"), ("png", "a-stress-a-rest-difference.png"),
                          ("sc", "a-stress-a-rest-paire-sc.dcm"), ("sr", "a-stress-a-rest-paire-sr.dcm")):
            self.assertEqual(pair["outputs"][key], os.path.join(out, name))
            self.assertGreater(os.path.getsize(pair["outputs"][key]), 1000, key)
        text = subprocess.run(["pdftotext", pair["outputs"]["pdf"], "-"], capture_output=True, text=True).stdout
        for words in ("SDS", "partiellement", "IVA", "Repos du"):
            self.assertIn(words, text)
        # The SR holds the comparison, in the stress study's study.
        sr = subprocess.run(["dsrdump", pair["outputs"]["sr"]], capture_output=True, encoding="latin-1").stdout
        self.assertIn('(SDS)")="%d"' % pair["comparison"]["sds"], sr)
        self.assertEqual(sr.count('"Classe")='), 17)
        uid = lambda path: subprocess.run(["dcmdump", "+P", "StudyInstanceUID", path], capture_output=True,
                                          text=True).stdout.split()[2]
        self.assertEqual(uid(pair["outputs"]["sr"]), uid(self.path("a-stress.dcm")))
        # Each record is what analyze gives for that study alone (same outputs asked).
        for role in ("stress", "rest"):
            alone = cli("analyze", self.path("a-%s.dcm" % role), "--json", "-", "--pdf", out, "--png", out, "--dicom", out)
            self.assertEqual(alone.returncode, 0, alone.stderr)
            self.assertEqual(json.loads(alone.stdout), pair[role], role)

    def test_pairs_from_a_list_and_two_patients_refused(self):
        self.make("c-rest.dcm", "--patient-id", "AUTRE-42")
        listing = self.path("pairs.csv")
        with open(listing, "w") as f:
            f.write("stress,rest\na-stress.dcm,a-rest.dcm\n\n%s,b-rest.dcm\na-stress.dcm,c-rest.dcm\n"
                    % self.path("b-stress.dcm"))
        r = cli("analyze", "--pairs", listing, "--json", "-", "--csv", self.path("pairs-out.csv"), "--jobs", "2")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertIn("ANON-LAD+RCA", r.stderr)
        self.assertIn("AUTRE-42", r.stderr)
        pairs = json.loads(r.stdout)
        self.assertEqual(len(pairs), 2, "the refused pair left out")
        self.check_pair(pairs[0], "LAD", "RCA")
        self.check_pair(pairs[1], None, "LCx")
        with open(self.path("pairs-out.csv")) as f:
            rows = f.read().splitlines()
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[2].split(",")[7], str(pairs[1]["comparison"]["sds"]))
        # The same two patients as a single pair: status 3, both IDs named, no pair written.
        r = cli("analyze", "--stress", self.path("a-stress.dcm"), "--rest", self.path("c-rest.dcm"), "--json", "-")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertIn("ANON-LAD+RCA", r.stderr)
        self.assertIn("AUTRE-42", r.stderr)
        self.assertEqual(json.loads(r.stdout), [])

    def test_each_list_of_pairs_is_placed_with_its_own_model(self):
        # The stress and rest studies share the workers; each study keeps the model file of its role.
        first = json.loads(cli("analyze", self.path("a-stress.dcm"), "--json", "-").stdout)["model"]
        models = {"stress": first, "rest": dict(first, outer=dict(first["outer"], semi_axes=[70, 45, 45]))}
        for role, model in models.items():
            with open(self.path("model-%s.json" % role), "w") as f:
                json.dump(model, f)
        listing = self.path("twice.csv")
        with open(listing, "w") as f:
            f.write("stress,rest\na-stress.dcm,a-rest.dcm\na-stress.dcm,a-rest.dcm\n")
        r = cli("analyze", "--pairs", listing, "--model-stress", self.path("model-stress.json"), "--model-rest",
                self.path("model-rest.json"), "--jobs", "2", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        pairs = json.loads(r.stdout)
        self.assertEqual(len(pairs), 2)
        for pair in pairs:
            for role, model in models.items():
                self.assertEqual(pair[role]["placement"], "model-file", role)
                self.assertEqual(pair[role]["model"]["outer"]["semi_axes"], model["outer"]["semi_axes"], role)

    def test_what_cannot_make_a_pair_is_refused(self):
        # A list line that is no pair stops the run before any analysis (status 2, line named).
        listing = self.path("bad.csv")
        with open(listing, "w") as f:
            f.write("a-stress.dcm,a-rest.dcm\na-stress.dcm\n")
        r = cli("analyze", "--pairs", listing, "--json", "-")
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("bad.csv, ligne 2", r.stderr)
        self.assertEqual(r.stdout, "")
        # One model for both studies is not a pair's option.
        r = cli("analyze", "--stress", self.path("a-stress.dcm"), "--rest", self.path("a-rest.dcm"), "--model", listing)
        self.assertEqual(r.returncode, 2, r.stderr)
        self.assertIn("--model-stress", r.stderr)
        # A study that cannot be analysed refuses its pair, named, with status 3.
        r = cli("analyze", "--stress", self.path("absent.dcm"), "--rest", self.path("a-rest.dcm"), "--json", "-")
        self.assertEqual(r.returncode, 3, r.stderr)
        self.assertIn("absent.dcm / ", r.stderr)
        self.assertIn("l'\u00e9tude d'effort", r.stderr)
        self.assertEqual(json.loads(r.stdout), [])

    def test_the_desktop_commands_give_the_same_pair(self):
        """Roles, comparison and the pair's export through the Examen menu (replayed): the window's
        figures are those of analyze; a rest study of another patient is compared only when confirmed."""
        folder = self.path("replay")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(os.path.join(os.path.dirname(CLI), "PALETS"), folder)
        ui, pdf = os.path.join(folder, "ui.txt"), os.path.join(folder, "out", "a-paire.pdf")
        os.makedirs(os.path.dirname(pdf))
        script = os.path.join(folder, "script.txt")
        with open(script, "w") as f:
            f.write(f"""compare
open {self.path("a-stress.dcm")}
auto
command {ID_RESULTS}
role stress
open {self.path("a-rest.dcm")}
auto
command {ID_RESULTS}
role rest
open {self.path("c-rest2.dcm")}
compare
export pair {pdf}
dump ui {ui}
""")
        self.make("c-rest2.dcm", "--patient-id", "AUTRE-43")
        r = cli("replay", script, "--app-folder", folder)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(ui, encoding="utf-8") as f:
            lines = f.read().splitlines()
        window = [line for line in lines if line.startswith("pair ")]
        self.assertEqual(len(window), 1, "compare before both roles shows nothing; then one window")
        text = window[0].replace("\\n", "\n")
        pair = json.loads(cli("analyze", "--stress", self.path("a-stress.dcm"), "--rest", self.path("a-rest.dcm"),
                              "--json", "-").stdout)["comparison"]
        for name, key in (("SSS (effort)", "sss"), ("SRS (repos)", "srs"), ("SDS (diff\u00e9rence)", "sds")):
            self.assertRegex(text, r"%s\s*:\s*%d / 68" % (re.escape(name), pair[key]))
        self.assertIn("(ID ANON-LAD+RCA)", text)
        self.assertTrue(os.path.getsize(pdf) > 1000)
        self.assertTrue(os.path.getsize(os.path.join(folder, "out", "a-difference.png")) > 1000)
        self.assertFalse(any("AUTRE-43" in line for line in lines), "opening another study keeps the roles")
        # The rest role taken from another patient: the comparison asks, "Non" by default.
        with open(script, "w") as f:
            f.write(f"""open {self.path("a-stress.dcm")}
auto
command {ID_RESULTS}
role stress
open {self.path("c-rest2.dcm")}
auto
command {ID_RESULTS}
role rest
compare
answer yes
compare
dump ui {ui}
""")
        r = cli("replay", script, "--app-folder", folder)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(ui, encoding="utf-8") as f:
            lines = f.read().splitlines()
        asked = [line for line in lines if line.startswith("box warning") and "AUTRE-43" in line]
        self.assertEqual(len(asked), 2, lines)
        self.assertTrue(any(line.startswith("pair ") and "AUTRE-43" in line for line in lines))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
