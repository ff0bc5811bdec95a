#include "Pair_Roles.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "Display.h"
#include "Output_Names.h"
#include "commands.h"
#include "layout.h"
#include "main.h"
#include "platform.h"

StudyRole ROLES[2];
PairHooks pair_hooks{};

namespace {

namespace fs = std::filesystem;

std::string field(const char* s) {
    std::string t = s ? s : "";
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
    return t;
}

std::string file_name(const std::string& path) { return fs::path(path).filename().string(); }

// "Les deux études ... Comparer quand même ?" answered; 1 when the pair may go on.
int same_patient_or_confirmed() {
    const std::string other = PAIR_PATIENT_MISMATCH(ROLES[ROLE_STRESS].patient_id, ROLES[ROLE_REST].patient_id);
    if (other.empty()) return 1;
    return plat_confirm_box(WINDOW, (other + "\n\nLes comparer quand m\xEAme ?").c_str(), "Vesmora");
}

std::string decimal(double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%.1f", v);
    if (char* dot = std::strchr(t, '.')) *dot = ',';
    return t;
}

}  // namespace

int ROLE_AVAILABLE() { return load_ok == 1 && res_ok == 1 && RESULTS_STALE() == 0 ? 1 : 0; }
int COMPARE_AVAILABLE() { return ROLES[ROLE_STRESS].set == 1 && ROLES[ROLE_REST].set == 1 ? 1 : 0; }

int SET_ROLE(int role) {
    if (role != ROLE_STRESS && role != ROLE_REST) return 0;
    if (load_ok != 1 || res_ok != 1) return 0;
    if (RESULTS_STALE()) {
        MEMS(STALE_EXPORT_TEXT);
        return 0;
    }
    StudyRole r;
    r.set = 1;
    r.file = DCM_PATH;
    r.patient_name = field(PAT_NAME);
    r.patient_id = field(PAT_ID);
    r.sex = field(PAT_SEX);
    r.birth_date = field(PAT_DATE);
    r.age = field(PAT_AGE);
    r.exam_date = field(ACQ_DATE);
    r.series = field(SERIES_DESC);
    r.origin = MODEL_ORIGIN;
    r.origin_file = MODEL_ORIGIN_FILE;
    r.adjusted = MODEL_ADJUSTED();
    MODEL_CURRENT(r.model);
    std::memcpy(r.percent, SECTEUR, sizeof r.percent);
    std::memcpy(r.score, SCORE, sizeof r.score);
    r.percent[0] = 0;
    r.score[0] = 0;
    r.bull.assign(RES_BYTES, 0);
    DRAW_RES(r.bull.data(), RES_BULL, REPORT_PALETTE, REPORT_OVERLAY);
    ROLES[role] = std::move(r);
    return 1;
}

int SUGGESTED_ROLE() {
    if (load_ok != 1) return -1;
    const StudyKind k = STUDY_KIND_OF(SERIES_DESC);
    return k == KIND_STRESS ? ROLE_STRESS : k == KIND_REST ? ROLE_REST : -1;
}

std::string COMMAND_LABEL_NOW(int id) {
    const Command* c = command_of(id);
    if (c == nullptr) return "";
    const int role = SUGGESTED_ROLE();
    const bool suggested = (id == ID_ROLE_STRESS && role == ROLE_STRESS) || (id == ID_ROLE_REST && role == ROLE_REST);
    return std::string(c->label) + (suggested ? " (sugg\xE9r\xE9)" : "");
}

bool ROLES_COMPARISON(StressRestComparison& c, std::string& why) {
    if (COMPARE_AVAILABLE() != 1) {
        why = "D\xE9" "finissez d'abord une \xE9tude d'effort et une \xE9tude de repos (menu Examen).";
        return false;
    }
    return COMPARE_STRESS_REST(ROLES[ROLE_STRESS].score, ROLES[ROLE_REST].score, c, why);
}

std::string PAIR_WINDOW_TEXT(const StressRestComparison& c) {
    const StudyRole &s = ROLES[ROLE_STRESS], &r = ROLES[ROLE_REST];
    std::string t;
    char line[200];
    t += "Patient : " + s.patient_name + " (ID " + s.patient_id + ")";
    if (r.patient_id != s.patient_id) t += " ; repos : " + r.patient_name + " (ID " + r.patient_id + ")";
    t += "\nEffort : " + file_name(s.file) + " du " + s.exam_date + (s.series.empty() ? "" : " (" + s.series + ")");
    t += "\nRepos  : " + file_name(r.file) + " du " + r.exam_date + (r.series.empty() ? "" : " (" + r.series + ")");
    std::snprintf(line, sizeof line, "\n\nSSS (effort)     : %2d / 68\nSRS (repos)      : %2d / 68\nSDS (diff\xE9rence) : %2d / 68\n",
                  c.sss, c.srs, c.sds);
    t += line;
    t += "Myocarde isch\xE9mique : " + decimal(c.percent_ischemic) + " % : " + ISCHEMIA_FR[c.band] +
         " (bande indicative)\n\nTerritoire  SSS  SRS  SDS\n";
    for (int k = TERR_LAD; k <= TERR_LCX; k++) {
        std::snprintf(line, sizeof line, "%-10s %4d %4d %4d\n", TERRITORY_NAME_FR[k], c.territory[k].sss,
                      c.territory[k].srs, c.territory[k].sds);
        t += line;
    }
    t += "\nN\xB0  Segment                Effort   Repos  Sc.E Sc.R Diff. Classe\n";
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        std::snprintf(line, sizeof line, "%2d  %-22s %5s %% %5s %%  %3d  %3d  %+3d  %s\n", n, SECTORS[n].name_fr,
                      decimal(s.percent[n]).c_str(), decimal(r.percent[n]).c_str(), c.stress[n], c.rest[n],
                      c.difference[n], SEGMENT_CLASS_FR[c.cls[n]]);
        t += line;
    }
    return t;
}

int COMPARE_ROLES() {
    StressRestComparison c;
    std::string why;
    if (COMPARE_AVAILABLE() != 1) return 0;
    if (!ROLES_COMPARISON(c, why)) {
        MEMS(why.c_str());
        return 0;
    }
    if (same_patient_or_confirmed() != 1) return 0;
    std::vector<unsigned char> difference(RES_BYTES);
    DRAW_DIFFERENCE_MAP(difference.data(), c);
    const std::string text = PAIR_WINDOW_TEXT(c);
    PlatPairView v{};
    v.title = "Comparaison effort / repos";
    v.captions[0] = "Effort";
    v.captions[1] = "Repos";
    v.captions[2] = "Diff\xE9rence (rouge : r\xE9versible, orange : partiellement r\xE9versible, bleu : fixe)";
    v.pictures[0] = ROLES[ROLE_STRESS].bull.data();
    v.pictures[1] = ROLES[ROLE_REST].bull.data();
    v.pictures[2] = difference.data();
    v.text = text.c_str();
    plat_show_pair(WINDOW, &v);
    return 1;
}

int EXPORT_PAIR(const char* path) {
    StressRestComparison c;
    std::string why;
    if (COMPARE_AVAILABLE() != 1) return 0;
    if (!ROLES_COMPARISON(c, why)) {
        MEMS(why.c_str());
        return 0;
    }
    if (pair_hooks.write_pair == nullptr) {
        MEMS("Cette version de Vesmora a \xE9t\xE9 construite sans le rapport PDF.");
        return 0;
    }
    if (same_patient_or_confirmed() != 1) return 0;
    const fs::path pdf(path);
    std::string stem = pdf.stem().string();
    const std::string suffix = "-paire";
    if (stem.size() > suffix.size() && stem.compare(stem.size() - suffix.size(), suffix.size(), suffix) == 0)
        stem.resize(stem.size() - suffix.size());
    const std::string png = (pdf.parent_path() / difference_png_name(stem)).string();
    if (!pair_hooks.write_pair(path, png, why)) {
        MEMS(why.c_str());
        return 0;
    }
    return 1;
}

int RUN_PAIR_COMMAND(int id) {
    switch (id) {
    case ID_ROLE_STRESS:
        SET_ROLE(ROLE_STRESS);
        return 1;
    case ID_ROLE_REST:
        SET_ROLE(ROLE_REST);
        return 1;
    case ID_COMPARE_PAIR:
        COMPARE_ROLES();
        return 1;
    case ID_EXPORT_PAIR: {
        if (COMPARE_AVAILABLE() != 1) return 1;
        const auto stem = [](const StudyRole& r) { return output_stem(fs::path(r.file).stem().string()); };
        const std::string name = pair_report_pdf_name(stem(ROLES[ROLE_STRESS]) + "-" + stem(ROLES[ROLE_REST]));
        const fs::path folder = fs::path(ROLES[ROLE_STRESS].file).parent_path();
        const std::string path = command_hooks.ask_path
                                     ? command_hooks.ask_path(ASK_SAVE_FILE, "Exporter le rapport effort / repos",
                                                              "Rapport PDF (*.pdf)", (folder / name).string())
                                     : std::string();
        if (!path.empty()) EXPORT_PAIR(path.c_str());
        return 1;
    }
    default:
        return 0;
    }
}
