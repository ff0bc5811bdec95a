#!/usr/bin/env python3
"""vesmora-cli analyze: the defect of each sample study found in its territory with the model
placed automatically, the record equal to what the program holds after the same steps replayed,
refused studies among good ones, model files and the study they were made on, outputs of studies
sharing a stem, DICOM objects refused alone, time-outs, and the CSV table."""
import csv
import shutil
import io
import json
import re
import os
import struct
import subprocess
import sys
import tempfile
import unittest

CLI = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "vesmora-cli")
SOURCE = sys.argv[2] if len(sys.argv) > 2 else "."
BINARY = sys.argv[3] if len(sys.argv) > 3 else os.path.join(SOURCE, "build", "default")
SAMPLES = os.path.abspath(os.path.join(BINARY, "samples"))
TERRITORY = {"LAD": {1, 2, 7, 8, 13, 14, 17}, "RCA": {3, 4, 9, 10, 15}, "LCx": {5, 6, 11, 12, 16}}


def cli(*args):
    return subprocess.run([CLI, *args], capture_output=True, text=True, timeout=300)


def f32(x):
    return struct.unpack("f", struct.pack("f", float(x)))[0]


def sample(name):
    return os.path.join(SAMPLES, name + ".dcm")


class Analyze(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.dir, name)

    def rescaled_and_text(self):
        """A file whose Rescale Slope ends the program, and a text file that is no study."""
        rescaled = self.path("rescaled.dcm")
        with open(rescaled, "wb") as f:  # "DICM", then a Rescale Slope of 0 after the patient's name
            meta = b"\x02\x00\x10\x00UI\x14\x001.2.840.10008.1.2.1\0"
            name = b"\x10\x00\x10\x00PN\x08\x00DOE^JOHN"
            f.write(b"\0" * 128 + b"DICM" + meta + name + b"\x28\x00\x53\x10DS\x02\x000 " + b"\0" * 64)
        text = self.path("notes.txt")
        with open(text, "w") as f:
            f.write("not a study\n")
        return rescaled, text

    def test_a_gated_study_gets_its_function_in_the_record_the_csv_and_the_report(self):
        study, truth = self.path("g8.dcm"), self.path("truth.csv")
        r = cli("sample", "--gates", "8", study, "--volumes", truth)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(truth, newline="") as f:
            true_ml = [float(row["volume_ml"]) for row in csv.DictReader(f)]
        r = cli("analyze", study, "--json", self.path("out.json"), "--csv", self.path("out.csv"), "--pdf", self.dir)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("out.json"), encoding="utf-8") as f:
            fn = json.load(f)["function"]
        self.assertTrue(fn["measured"])
        self.assertEqual(fn["flags"], [])
        self.assertEqual([g["gate"] for g in fn["gates"]], list(range(1, 9)))
        volumes = [g["volume_ml"] for g in fn["gates"]]
        # End diastole and end systole at the phantom's own gates, the EF from the two.
        self.assertEqual((fn["ed_gate"], fn["es_gate"]), (1 + true_ml.index(max(true_ml)), 1 + true_ml.index(min(true_ml))))
        self.assertEqual((fn["edv_ml"], fn["esv_ml"]), (max(volumes), min(volumes)))
        true_ef = 100 * (max(true_ml) - min(true_ml)) / max(true_ml)
        self.assertAlmostEqual(fn["ef_percent"], true_ef, delta=5)
        self.assertAlmostEqual(fn["edv_ml"], max(true_ml), delta=0.15 * max(true_ml))
        with open(self.path("out.csv"), encoding="utf-8", newline="") as f:
            row = list(csv.DictReader(f))[0]
        self.assertEqual([float(row[k]) for k in ("edv_ml", "esv_ml", "ef_percent")],
                         [fn["edv_ml"], fn["esv_ml"], fn["ef_percent"]])
        pdf = next(os.path.join(self.dir, n) for n in os.listdir(self.dir) if n.endswith(".pdf"))
        text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
        self.assertIn("Fonction VG (étude synchronisée)", text)
        shown = re.search(r"Volume télédiastolique \(VTD\) +(\d+) mL", text)
        self.assertIsNotNone(shown, text)
        self.assertLessEqual(abs(int(shown.group(1)) - fn["edv_ml"]), 0.5)

    def test_a_small_gated_heart_refused_for_perfusion_keeps_its_function(self):
        # 50 mL at end diastole (validate-function's phantom 7020): the summed study shows a
        # cavity averaged over the cycle, under the size the placement trusts; the gates about
        # end diastole place the function's model.
        study, truth = self.path("g50.dcm"), self.path("truth.csv")
        r = cli("sample", study, "--gates", "8", "--scale", "0.96", "--es-ratio", "0.62", "--wall", "7", "--base", "8",
                "--fwhm", "13.5", "--counts", "697", "--shift", "-8", "-15", "14", "--seed", "12020", "--volumes", truth)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(truth, newline="") as f:
            true_ml = [float(row["volume_ml"]) for row in csv.DictReader(f)]
        r = cli("analyze", study, sample("normal-64"), "--json", self.path("out.json"), "--csv", self.path("out.csv"),
                "--pdf", self.dir)
        self.assertEqual(r.returncode, 3, r.stderr)  # a study refused
        self.assertIn("g50.dcm refusé : Aucun ventricule gauche", r.stderr)
        self.assertIn("fonction mesurée sans la perfusion", r.stderr)
        self.assertRegex(r.stdout, r"Sévérité +perfusion refusée +normal")
        with open(self.path("out.json"), encoding="utf-8") as f:
            alone, normal = json.load(f)
        self.assertNotIn("segments", alone)
        self.assertIn("Aucun ventricule gauche", alone["perfusion_refused"])
        self.assertIn("\nRaison : la cavité trouvée", alone["perfusion_refused"])  # the box's reason reaches the record
        fn = alone["function"]
        self.assertEqual(fn["model_on_gates"], [8, 1, 2])
        true_ef = 100 * (max(true_ml) - min(true_ml)) / max(true_ml)
        self.assertAlmostEqual(fn["ef_percent"], true_ef, delta=5)
        self.assertAlmostEqual(fn["esv_ml"], min(true_ml), delta=0.15 * min(true_ml))
        self.assertIsNone(alone["outputs"]["pdf"])  # a report is a reading of the perfusion
        self.assertEqual(len([n for n in os.listdir(self.dir) if n.endswith(".pdf")]), 1)
        with open(self.path("out.csv"), encoding="utf-8", newline="") as f:
            rows = list(csv.DictReader(f))
        self.assertEqual([rows[0][f"score_{n}"] for n in range(1, 18)], [""] * 17)
        self.assertTrue(rows[0]["severity"].startswith("perfusion refusée : Aucun ventricule gauche"))
        self.assertEqual(float(rows[0]["ef_percent"]), fn["ef_percent"])
        self.assertEqual(rows[1]["severity"], normal["severity"])

    def test_a_gated_study_too_large_to_keep_its_gates_says_so_instead_of_passing_for_ungated(self):
        study = self.path("g17.dcm")  # 17 gates of 128 x 128 x 128: 68 MiB of gates, over the 64 kept
        r = cli("sample", "--gates", "17", "--matrix", "128", study)
        self.assertEqual(r.returncode, 0, r.stderr)
        r = cli("analyze", study, "--json", self.path("out.json"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("out.json"), encoding="utf-8") as f:
            fn = json.load(f)["function"]
        self.assertFalse(fn["measured"])
        self.assertIn("17 intervalles", fn["reason"])
        self.assertNotIn("edv_ml", fn)
        # The desktop's window opens on it all the same: the reason, no cine.
        script, ui = self.path("f.replay"), self.path("ui.txt")
        with open(script, "w") as f:
            f.write(f"open {study}\nauto\nfunction\ndump ui {ui}\n")
        r = cli("replay", script)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(ui, encoding="utf-8") as f:
            lines = f.read().splitlines()
        # The window's text, its lines broken to the window's width (written "\\n" in the dump).
        self.assertTrue(any(line.startswith("function ") and "17 intervalles" in line.replace("\\n", " ")
                            for line in lines), lines)
        self.assertFalse([line for line in lines if line.startswith("function-gate")])

    def test_each_defect_lands_in_its_territory_with_the_model_placed_automatically(self):
        studies = {"LAD": sample("lad-64"), "LCx": sample("lcx-64"), "RCA": sample("rca-64"), None: sample("normal-64")}
        r = cli("analyze", *studies.values(), "--jobs", "2", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        records = json.loads(r.stdout)
        self.assertEqual([rec["file"] for rec in records], list(studies.values()), "kept in the studies' order")
        for (artery, _), rec in zip(studies.items(), records):
            self.assertEqual(rec["placement"], "auto")
            self.assertNotEqual(rec["model"]["outer"]["semi_axes"], [80, 50, 50], "fitted, not the load's size")
            terr = rec["territories"]
            if artery is None:
                self.assertEqual(rec["severity"], "normal", rec["summed_score"])
                continue
            self.assertEqual(max(terr, key=lambda t: terr[t]["summed_score"]), artery, terr)
            score = {s["number"]: s["score"] for s in rec["segments"]}
            for t, segs in TERRITORY.items():
                self.assertEqual(set(terr[t]["segments"]), segs)
                self.assertEqual({s["number"] for s in rec["segments"] if s["territory"] == t}, segs)
                self.assertEqual(terr[t]["summed_score"], sum(score[n] for n in segs), (artery, t))
            self.assertGreater(terr[artery]["summed_score"], 0, artery)  # the files are the ones asked for
            self.assertEqual(sum(t["summed_score"] for t in terr.values()), rec["summed_score"])

    def test_record_equals_the_program_state_after_the_same_steps(self):
        lad = sample("lad-64")
        i, j, k = 124, 130, 126
        r = cli("analyze", lad, "--slices", f"{i},{j},{k}", "--json", self.path("lad.json"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(self.path("lad.json"), encoding="utf-8") as f:
            text = f.read()
        rec = json.loads(text)
        self.assertEqual(rec["placement"], "slices")
        self.assertEqual(rec["outputs"], {"pdf": None, "png": [], "sc": None, "sr": None})
        # The same study by hand: the strips choose the slices, then "Centrer volume" and "Résultats".
        state_path = self.path("state.txt")
        with open(self.path("steps.txt"), "w") as f:
            f.write(f"open {lad}\n"
                    f"lbuttondown {23 + k} 320\nlbuttonup {23 + k} 320\n"
                    f"lbuttondown {294 + j} 320\nlbuttonup {294 + j} 320\n"
                    f"lbuttondown {563 + i} 320\nlbuttonup {563 + i} 320\n"
                    f"command 24\ncommand 45\ndump state {state_path}\n")
        r = cli("replay", self.path("steps.txt"))
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(state_path) as f:
            st = {line.split()[0]: line.split()[1:] for line in f}
        ints = lambda name: [int(v) for v in st[name]]
        m = rec["model"]
        self.assertEqual(m["outer"]["centre"], [i, j, k])
        self.assertEqual(m["outer"]["centre"], [ints(n)[0] for n in ("ell_ci", "ell_cj", "ell_ck")])
        self.assertEqual(m["outer"]["semi_axes"], [ints(n)[0] for n in ("ell_ri", "ell_rj", "ell_rk")])
        self.assertEqual(m["inner"]["centre"], [ints(n)[0] for n in ("ill_ci", "ill_cj", "ill_ck")])
        self.assertEqual(m["inner"]["semi_axes"], [ints(n)[0] for n in ("ill_ri", "ill_rj", "ill_rk")])
        self.assertEqual(m["base_plane"], ints("plan_i")[0])
        self.assertEqual(m["levels"], ints("sect_i"))
        self.assertNotIn("apex", m, "the derived apex is no model file's business")
        self.assertEqual(m["levels"][3], ints("apex_i")[0])
        scores = ints("SCORE")
        for seg in rec["segments"]:
            n = seg["number"]
            self.assertEqual(f32(seg["percent"]), f32(st["SECTEUR"][n]), n)
            self.assertEqual(seg["score"], scores[n], n)
        self.assertEqual(rec["summed_score"], sum(scores[1:]))
        self.assertAlmostEqual(rec["percent_myocardium_abnormal"], sum(scores[1:]) / 68 * 100)
        band = ["normal"] * 4 + ["légèrement anormal"] * 5 + ["modérément anormal"] * 5
        self.assertEqual(rec["severity"], band[rec["summed_score"]] if rec["summed_score"] < 14 else "sévèrement anormal")
        self.assertEqual(rec["patient"], {"name": "ANONYME LAD", "id": "ANON-LAD", "sex": "M", "birth_date": "14/03/1968",
                                          "age": "58", "age_computed": False, "exam_date": "15/09/2026"})
        # Printed as the shortest text of the single-precision value, not of its double.
        for raw in __import__("re").findall(r'"percent": ([-0-9.e]+)', text):
            self.assertLessEqual(len(raw.replace("-", "").replace(".", "").lstrip("0")), 9, raw)

    def test_refused_studies_are_named_and_the_others_go_on_to_status_3(self):
        rescaled, text = self.rescaled_and_text()
        studies = [rescaled, sample("rca-64"), text, sample("lad-64")]
        r = cli("analyze", *studies, "--jobs", "3", "--json", self.path("out.json"), "--csv", self.path("out.csv"))
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertIn(f"{rescaled} refusé : Pente de mise à l'échelle non prise en charge (Rescale Slope", r.stderr)
        self.assertIn(f"{text} refusé : Ce fichier n'est pas un fichier dicom valide", r.stderr)
        with open(self.path("out.json"), encoding="utf-8") as f:
            records = json.load(f)
        self.assertEqual([rec["file"] for rec in records], [sample("rca-64"), sample("lad-64")])
        with open(self.path("out.csv"), encoding="utf-8", newline="") as f:
            rows = list(csv.reader(f))
        self.assertEqual(len(rows), 3)
        self.assertEqual(rows[0][:5] + rows[0][-6:], ["file", "patient_name", "patient_id", "exam_date", "percent_1",
                                                      "summed_score", "severity", "edv_ml", "esv_ml", "ef_percent",
                                                      "function_flags"])
        for row, rec in zip(rows[1:], records):
            self.assertEqual(len(row), 4 + 17 + 17 + 2 + 4)
            self.assertEqual(row[-4:], ["", "", "", ""])  # not gated: no function
            self.assertEqual(row[:4], [rec["file"], rec["patient"]["name"], rec["patient"]["id"],
                                       rec["patient"]["exam_date"]])
            self.assertEqual([f32(v) for v in row[4:21]], [f32(s["percent"]) for s in rec["segments"]])
            self.assertEqual([int(v) for v in row[21:38]], [s["score"] for s in rec["segments"]])
            self.assertEqual(row[38:40], [str(rec["summed_score"]), rec["severity"]])

    def test_a_records_model_placed_again_gives_the_same_result_and_a_bad_one_stops_the_run(self):
        lad = sample("lad-64")
        r = cli("analyze", lad, "--slices", "120,126,130", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        first = json.loads(r.stdout)
        with open(self.path("model.json"), "w") as f:
            json.dump(first["model"], f)  # a record's model, levels and all, reads as a model file
        r = cli("analyze", lad, "--model", self.path("model.json"), "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        again = json.loads(r.stdout)
        self.assertEqual(again["placement"], "model-file")
        self.assertEqual(again["model"], first["model"])
        self.assertEqual(again["segments"], first["segments"])

        bad = dict(first["model"], outer=dict(first["model"]["outer"], semi_axes=[80, 200, 50]))
        with open(self.path("bad.json"), "w") as f:
            json.dump(bad, f)
        r = cli("analyze", lad, "--model", self.path("bad.json"))
        self.assertEqual(r.returncode, 2)
        self.assertIn("outer.semi_axes[1] : 200 est hors des limites (12 à 120)", r.stderr)
        r = cli("analyze", lad, "--slices", "128,256,128")
        self.assertEqual(r.returncode, 2)
        self.assertIn("--slices attend trois coupes I,J,K, chacune de 0 à 255, et non « 128,256,128 »", r.stderr)

    def test_a_model_made_on_another_patient_is_refused_unless_forced(self):
        r = cli("analyze", sample("normal-64"), "--slices", "120,126,130", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        made_on = json.loads(r.stdout)["model"]
        if "patient_id" not in made_on:
            self.skipTest("this build does not read the Patient ID yet")
        with open(self.path("model.json"), "w") as f:
            json.dump(made_on, f)
        lad = sample("lad-64")
        r = cli("analyze", lad, "--model", self.path("model.json"), "--json", "-")
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertEqual(r.stdout, "[]\n")
        self.assertIn(f"{lad} refusé : Ce modèle a été fait sur une autre étude : patient ID {made_on['patient_id']}",
                      r.stderr)
        self.assertIn("--force-model", r.stderr)
        r = cli("analyze", lad, "--model", self.path("model.json"), "--force-model", "--json", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(json.loads(r.stdout)["model"]["outer"], made_on["outer"])

    def test_a_study_without_a_ventricle_or_past_its_timeout_is_refused(self):
        # A tiny heart drowned in a liver five times as bright, blurred to 40 mm: no ring left.
        blob = self.path("blob.dcm")
        r = cli("sample", blob, "--scale", "0.5", "--wall", "8", "--fwhm", "40", "--liver", "400", "--liver-near", "30")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = cli("analyze", blob, sample("normal-64"), "--auto", "--json", "-")
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertIn(f"{blob} refusé : Aucun ventricule gauche n'a été trouvé", r.stderr)
        self.assertEqual([rec["file"] for rec in json.loads(r.stdout)], [sample("normal-64")])
        r = cli("analyze", sample("normal-64"), "--timeout", "0.005", "--json", "-")
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertIn("refusé : l'analyse n'a pas fini en 0.005 s (--timeout) : elle a été arrêtée.", r.stderr)

    def test_studies_sharing_a_stem_keep_their_own_outputs_and_dicom_objects_are_refused_alone(self):
        # Two studies named study.dcm in two folders; the second has no Study Instance UID.
        os.makedirs(self.path("a"))
        os.makedirs(self.path("b"))
        first, second = self.path("a/study.dcm"), self.path("b/study.dcm")
        shutil.copy(sample("normal-64"), first)
        with open(sample("lad-64"), "rb") as f:
            data = f.read()
        tag = data.index(b"\x20\x00\x0d\x00UI")  # (0020,000D) becomes an unknown (0020,000C)
        with open(second, "wb") as f:
            f.write(data[:tag] + b"\x20\x00\x0c\x00UI" + data[tag + 6:])
        out = self.path("out")
        r = cli("analyze", first, second, "--pdf", out, "--png", out, "--dicom", out, "--json", "-", "--jobs", "1")
        self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
        self.assertIn(f"{second} : objets DICOM (SC et SR) refusés :", r.stderr)
        self.assertIn("Study Instance UID", r.stderr)
        records = json.loads(r.stdout)
        self.assertEqual([rec["file"] for rec in records], [first, second])
        a, b = (rec["outputs"] for rec in records)
        self.assertEqual(a["pdf"], os.path.join(out, "study-rapport.pdf"))
        self.assertEqual(b["pdf"], os.path.join(out, "study-2-rapport.pdf"))
        self.assertEqual(a["sc"], os.path.join(out, "study-sc.dcm"))
        self.assertEqual((b["sc"], b["sr"]), (None, None))
        self.assertEqual(len(a["png"]), 8)
        self.assertTrue(set(a["png"]).isdisjoint(b["png"]))
        listed = [a["pdf"], a["sc"], a["sr"], b["pdf"], *a["png"], *b["png"]]
        self.assertEqual(sorted(os.listdir(out)), sorted(os.path.basename(p) for p in listed))
        # The report says, in French, how the model was placed and what its numbers mean.
        text = subprocess.run(["pdftotext", "-layout", b["pdf"], "-"], capture_output=True, text=True).stdout
        for expected in ("Placement : automatique", "IVA", "CD", "Cx", "Score sommé", "Fixation relative",
                         "3 : 10 à 30 %", "Palette", "indicatives"):
            self.assertIn(expected, text)

    def test_a_reused_worker_gives_what_a_fresh_process_gives_study_after_study(self):
        # One worker takes them in turn (--jobs 1); the rescaled file ends it and another takes the last.
        rescaled, text = self.rescaled_and_text()
        studies = [sample("normal-64"), text, sample("lad-128"), rescaled, sample("rca-64"), sample("lcx-64")]
        def run(paths, out, placement):
            r = cli("analyze", *paths, *placement, "--jobs", "1", "--png", out, "--pdf", out, "--json", "-")
            return r, (json.loads(r.stdout) if r.stdout else [])

        for placement in (["--slices", "128,128,128"], ["--auto"]):
            batch = self.path("batch")
            r, records = run(studies, batch, placement)
            self.assertEqual(r.returncode, 3, r.stdout + r.stderr)
            self.assertIn(f"{text} refusé : Ce fichier n'est pas un fichier dicom valide", r.stderr)
            self.assertIn(f"{rescaled} refusé : Pente de mise à l'échelle", r.stderr)
            self.assertEqual([rec["file"] for rec in records], [s for s in studies if s not in (text, rescaled)])
            for n, rec in enumerate(records):
                fresh = self.path(f"fresh{n}")
                r, alone = run([rec["file"]], fresh, placement)
                self.assertEqual(r.returncode, 0, r.stderr)
                self.assertEqual(json.dumps(rec).replace(batch, fresh), json.dumps(alone), rec["file"])
                for picture in rec["outputs"]["png"]:
                    with open(picture, "rb") as a, open(picture.replace(batch, fresh), "rb") as b:
                        self.assertEqual(a.read(), b.read(), picture)
                texts = [subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True).stdout
                         for pdf in (rec["outputs"]["pdf"], alone["outputs"]["pdf"])]
                self.assertIn("Score sommé", texts[0])
                # The two runs may fall in different minutes: the time the page is printed at is left out.
                texts = [re.sub(r"\d\d/\d\d/\d{4} \d\d:\d\d", "DATE", t) for t in texts]
                self.assertEqual(texts[0], texts[1].replace(fresh, batch), rec["file"])
                shutil.rmtree(fresh)
            shutil.rmtree(batch)

    def test_a_path_with_a_comma_quotes_and_a_line_break_stays_one_csv_field(self):
        study = self.path('odd, "study"\nname.dcm')
        r = cli("sample", study, "--matrix", "64", "--name", "Zoé^Dupré")
        self.assertEqual(r.returncode, 0, r.stderr)
        r = cli("analyze", study, "--csv", "-")
        self.assertEqual(r.returncode, 0, r.stderr)
        rows = list(csv.reader(io.StringIO(r.stdout, newline="")))
        self.assertEqual(len(rows), 2)
        self.assertEqual(rows[1][:2], [study, "Zoé Dupré"])  # accented letters kept (ISO_IR 100)
        self.assertEqual(len(rows[1]), len(rows[0]))

if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
