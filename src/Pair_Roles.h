// The stress and rest roles of the desktop programs: "Examen > Définir comme effort" and
// "Définir comme repos" keep the results of the study on screen (its identity, how its model
// was placed, its percentages, scores and bull's-eye), fresh results only; opening another
// study does not clear them. "Comparer effort / repos" shows the comparison window (its
// content made here, the back end only shows it) and the pair's report is exported from it.
#ifndef VESMORA_PAIR_ROLES_H
#define VESMORA_PAIR_ROLES_H

#include <string>
#include <vector>

#include "Model_Place.h"
#include "Stress_Rest.h"

enum PairRole { ROLE_STRESS = 0, ROLE_REST = 1 };
inline constexpr const char* ROLE_NAME_FR[2] = {"effort", "repos"};

struct StudyRole {
    int set = 0;
    std::string file;  // the study's path
    // Latin-1, blanks at the end dropped
    std::string patient_name, patient_id, sex, birth_date, age, exam_date, series;
    int origin = 0;           // ModelOrigin
    std::string origin_file;  // with MODEL_FROM_FILE
    int adjusted = 0;         // moved or reshaped by hand after it was placed
    ModelValues model{};
    float percent[SECTOR_COUNT + 1] = {};
    int score[SECTOR_COUNT + 1] = {};
    std::vector<unsigned char> bull;  // 400 x 400 as DRAW_RES draws it in the report's palette
};
extern StudyRole ROLES[2];  // program-wide, kept across loads

// 1 when the study on screen has results that match its model (not stale): a role can take them.
int ROLE_AVAILABLE();
// 1 when both roles are set.
int COMPARE_AVAILABLE();
// Keeps the results on screen as that role; nothing when unavailable (a box when stale). 1: kept.
int SET_ROLE(int role);
// The role the loaded study's Series Description suggests (stress, effort, rest, repos as
// words, any case): ROLE_STRESS, ROLE_REST, or -1.
int SUGGESTED_ROLE();
// The menu item's label now: the table's, with " (suggéré)" on the suggested role's item.
std::string COMMAND_LABEL_NOW(int id);

// The comparison of the two roles; false with `why` (Latin-1) when they cannot be compared.
bool ROLES_COMPARISON(StressRestComparison& c, std::string& why);
// The texts of the comparison window (Latin-1): both studies, SSS / SRS / SDS, the ischemic
// myocardium and its band, the territory table and the 17 segments.
std::string PAIR_WINDOW_TEXT(const StressRestComparison& c);
// Opens the comparison window. When the two Patient IDs differ the user is asked first. 1: shown.
int COMPARE_ROLES();
// The pair's report at `path` (PDF) and its difference map beside it (STEM-difference.png); a
// box when it cannot be written. 1: written.
int EXPORT_PAIR(const char* path);
// Runs the Examen menu's items; 1 when id is one of them.
int RUN_PAIR_COMMAND(int id);

// Registered by the program that links the report library; null: this build has none.
struct PairHooks {
    bool (*write_pair)(const std::string& pdf_path, const std::string& png_path, std::string& error);
};
extern PairHooks pair_hooks;

#endif
