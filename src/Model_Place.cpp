#include "Model_Place.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "Display.h"
#include "main.h"

namespace {

const char* const AXIS[3] = {"0", "1", "2"};

bool outside(int value, int lo, int hi, const char* field, const char* index, char* why, int why_size) {
    if (value >= lo && value <= hi) return false;
    std::snprintf(why, static_cast<std::size_t>(why_size),
                  "%s%s%s%s : %d est hors des limites (%d \xE0 %d).", field, index[0] ? "[" : "", index,
                  index[0] ? "]" : "", value, lo, hi);
    return true;
}

}  // namespace

void MODEL_CURRENT(ModelValues& v) {
    const int outer_c[3] = {ell_ci, ell_cj, ell_ck}, outer_r[3] = {ell_ri, ell_rj, ell_rk};
    const int inner_c[3] = {ill_ci, ill_cj, ill_ck}, inner_r[3] = {ill_ri, ill_rj, ill_rk};
    for (int a = 0; a < 3; a++) {
        v.outer_centre[a] = outer_c[a];
        v.outer_semi_axes[a] = outer_r[a];
        v.inner_centre[a] = inner_c[a];
        v.inner_semi_axes[a] = inner_r[a];
    }
    v.base_plane = plan_i;
    // An apex off the slices cannot come from the "A" button: the model derived it.
    v.has_apex = apex_i != DERIVED_APEX() && apex_i >= SLICE_MIN && apex_i <= SLICE_MAX;
    v.apex = apex_i;
}

int MODEL_CHECK(const ModelValues& v, char* why, int why_size) {
    for (int a = 0; a < 3; a++)
        if (outside(v.outer_centre[a], CENTRE_MIN, CENTRE_MAX, "outer.centre", AXIS[a], why, why_size) ||
            outside(v.outer_semi_axes[a], OUTER_AXIS_MIN, OUTER_AXIS_MAX, "outer.semi_axes", AXIS[a], why,
                    why_size))
            return 0;
    for (int a = 0; a < 3; a++)
        if (outside(v.inner_centre[a], CENTRE_MIN, CENTRE_MAX, "inner.centre", AXIS[a], why, why_size) ||
            outside(v.inner_semi_axes[a], INNER_AXIS_MIN, INNER_AXIS_MAX, "inner.semi_axes", AXIS[a], why,
                    why_size))
            return 0;
    // The inner ellipsoid shares the outer centre on j and k (VERIF_DISP makes it so).
    for (int a = 1; a < 3; a++)
        if (v.inner_centre[a] != v.outer_centre[a]) {
            std::snprintf(why, static_cast<std::size_t>(why_size),
                          "inner.centre[%d] : %d doit \xEAtre \xE9gal \xE0 outer.centre[%d] (%d).", a,
                          v.inner_centre[a], a, v.outer_centre[a]);
            return 0;
        }
    if (outside(v.base_plane, CENTRE_MIN, CENTRE_MAX, "base_plane", "", why, why_size)) return 0;
    // The "A" button puts the apex at the slice shown in the short-axis view.
    if (v.has_apex && outside(v.apex, SLICE_MIN, SLICE_MAX, "apex", "", why, why_size)) return 0;
    char inside[160];  // with the fields named, within the 200 bytes the callers give
    if (MODEL_SCORABLE(v, inside, sizeof inside) != 1) {
        std::snprintf(why, static_cast<std::size_t>(why_size),
                      "inner.semi_axes, inner.centre[0] : %s", inside);
        return 0;
    }
    return 1;
}

int MODEL_SCORABLE(const ModelValues& v, char* why, int why_size) {
    // The inner ellipsoid shares the outer centre on j and k and lies d away on i. A point
    // of its surface, u along i on the unit sphere, gives in the outer one's equation
    //   q(u) = (d + ri u)^2 / Ri^2 + (1 - u^2) m,  m = max(rj^2 / Rj^2, rk^2 / Rk^2)
    // at most (the rest of the sphere put on the transverse axis that fills the outer one
    // most). It lies inside when q stays within 1 on -1..1: the ends, and the top of the
    // parabola when it opens downwards.
    auto sq = [](double x) { return x * x; };
    const double Ri = v.outer_semi_axes[0], Rj = v.outer_semi_axes[1], Rk = v.outer_semi_axes[2];
    const double ri = v.inner_semi_axes[0], rj = v.inner_semi_axes[1], rk = v.inner_semi_axes[2];
    const double d = v.inner_centre[0] - v.outer_centre[0];
    bool inside = Ri > 0 && Rj > 0 && Rk > 0 && v.inner_centre[1] == v.outer_centre[1] &&
                  v.inner_centre[2] == v.outer_centre[2];
    if (inside) {
        const double m = std::max(sq(rj / Rj), sq(rk / Rk));
        const double a = sq(ri / Ri) - m, b = 2 * d * ri / sq(Ri), c = sq(d / Ri) + m;
        double q = std::max(a + b + c, a - b + c);
        if (a < 0) {
            const double top = -b / (2 * a);
            if (top > -1 && top < 1) q = std::max(q, c - b * b / (4 * a));
        }
        inside = q <= 1 + 1e-9;  // touching is inside: the wall is then thin, not missing
    }
    if (inside) return 1;
    std::snprintf(why, static_cast<std::size_t>(why_size),
                  "l'ellipso\xEF" "de interne (demi-axes %d, %d, %d, centre %d) doit \xEAtre \xE0 l'int\xE9rieur "
                  "de l'externe (demi-axes %d, %d, %d, centre %d).",
                  v.inner_semi_axes[0], v.inner_semi_axes[1], v.inner_semi_axes[2], v.inner_centre[0],
                  v.outer_semi_axes[0], v.outer_semi_axes[1], v.outer_semi_axes[2], v.outer_centre[0]);
    return 0;
}

int PLACE_MODEL(const ModelValues& v, char* why, int why_size) {
    if (load_ok != 1) {
        std::snprintf(why, static_cast<std::size_t>(why_size),
                      "Aucune \xE9tude n'est ouverte : le mod\xE8le ne peut pas \xEAtre plac\xE9.");
        return 0;
    }
    if (!MODEL_CHECK(v, why, why_size)) return 0;
    ell_ci = v.outer_centre[0];
    ell_cj = v.outer_centre[1];
    ell_ck = v.outer_centre[2];
    ell_ri = v.outer_semi_axes[0];
    ell_rj = v.outer_semi_axes[1];
    ell_rk = v.outer_semi_axes[2];
    ill_ci = v.inner_centre[0];
    ill_cj = v.inner_centre[1];
    ill_ck = v.inner_centre[2];
    ill_ri = v.inner_semi_axes[0];
    ill_rj = v.inner_semi_axes[1];
    ill_rk = v.inner_semi_axes[2];
    plan_i = v.base_plane;
    // The views through the outer centre, as "Centrer volume" leaves them.
    Nsa = ell_ci;
    Nvla = ell_cj;
    Nhla = ell_ck;
    PLACE_MODEL();
    if (v.has_apex) APEX_AT(v.apex);  // it also turns views 1 and 2 to the outer centre
    return 1;
}

int PLACE_MODEL() {
    ell_ok = 1;
    EVAL_APEX();
    VERIF_DISP();
    EVAL_APEX();  // again: VERIF_DISP may have moved the model
    DISPLAY();
    return 0;
}

int APEX_AT(int slice) {
    if (load_ok != 1 || ell_ok != 1) return 0;
    Nsa = slice;
    apex_i = slice;
    Nvla = ell_cj;
    Nhla = ell_ck;
    EVAL_SECT();
    DISPLAY();
    return 1;
}

int MODEL_NOT_FITTED() {
    return ell_ok == 1 && ell_ri == 80 && ell_rj == 50 && ell_rk == 50 && ill_ri == 30 && ill_rj == 20 && ill_rk == 20
               ? 1
               : 0;
}

// ---------------------------------------------------------------------------------------------
// How the model was placed
// ---------------------------------------------------------------------------------------------
namespace {
ModelValues g_placed{};  // the model as MODEL_PLACED_BY found it
}

void MODEL_PLACED_BY(int origin, const char* file) {
    MODEL_ORIGIN = origin;
    std::snprintf(MODEL_ORIGIN_FILE, PATH_SIZE, "%s", origin == MODEL_FROM_FILE && file != nullptr ? file : "");
    MODEL_CURRENT(g_placed);
}

int MODEL_ADJUSTED() {
    if (MODEL_ORIGIN == MODEL_FROM_NONE) return 0;
    ModelValues now{};
    MODEL_CURRENT(now);
    return std::memcmp(&now, &g_placed, sizeof now) != 0 ? 1 : 0;
}
