#include "Stress_Rest.h"

SegmentClass SEGMENT_CLASS_OF(int stress_score, int rest_score) {
    if (stress_score <= 0) return CLASS_NORMAL;
    if (rest_score <= 0) return CLASS_REVERSIBLE;
    if (rest_score < stress_score) return CLASS_PARTIAL;
    return CLASS_FIXED;
}

IschemiaBand ISCHEMIA_OF(int sds) {
    if (sds >= ISCHEMIA_LOWER_BOUND[ISCH_SEVERE]) return ISCH_SEVERE;
    if (sds >= ISCHEMIA_LOWER_BOUND[ISCH_MODERATE]) return ISCH_MODERATE;
    if (sds >= ISCHEMIA_LOWER_BOUND[ISCH_MILD]) return ISCH_MILD;
    return ISCH_NONE;
}

bool COMPARE_STRESS_REST(const int stress[SECTOR_COUNT + 1], const int rest[SECTOR_COUNT + 1],
                         StressRestComparison& out, std::string& why) {
    out = StressRestComparison{};
    for (int n = 1; n <= SECTOR_COUNT; ++n) {
        for (int which = 0; which < 2; ++which) {
            const int s = which == 0 ? stress[n] : rest[n];
            if (s < 0 || s > 4) {
                why = "Score " + std::to_string(s) + " du segment " + std::to_string(n) + " de l'\xE9tude " +
                      (which == 0 ? "d'effort" : "de repos") + " : un score va de 0 \xE0 4, la comparaison est refus\xE9" "e.";
                return false;
            }
        }
        out.stress[n] = stress[n];
        out.rest[n] = rest[n];
        const int d = stress[n] - rest[n];
        out.difference[n] = d;
        out.cls[n] = SEGMENT_CLASS_OF(stress[n], rest[n]);
        out.sss += stress[n];
        out.srs += rest[n];
        out.sds += d > 0 ? d : 0;
        TerritoryPair& t = out.territory[SECTORS[n].territory];
        t.sss += stress[n];
        t.srs += rest[n];
        t.sds += d > 0 ? d : 0;
    }
    out.percent_ischemic = out.sds * 100.0 / MAX_SUMMED_SCORE;
    out.band = ISCHEMIA_OF(out.sds);
    return true;
}

namespace {
std::string trimmed(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return "";
    return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}
}  // namespace

std::string PAIR_PATIENT_MISMATCH(const std::string& stress_id, const std::string& rest_id) {
    const std::string s = trimmed(stress_id), r = trimmed(rest_id);
    if (!s.empty() && s == r) return "";
    const auto shown = [](const std::string& id) { return id.empty() ? std::string("sans ID") : "ID " + id; };
    if (s.empty() || r.empty())
        return "Identifiant patient absent : rien ne montre que les deux \xE9tudes sont du m\xEAme patient (effort : " +
               shown(s) + ", repos : " + shown(r) + ").";
    return "Les deux \xE9tudes ne sont pas du m\xEAme patient (effort : " + shown(s) + ", repos : " + shown(r) + ").";
}
