#include "Model_Place.h"

#include <cstdio>

#include "Display.h"
#include "layout.h"
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
    return 1;
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
    ell_ok = 1;
    EVAL_APEX();
    VERIF_DISP();
    EVAL_APEX();
    DISPLAY();
    if (v.has_apex) {
        // The "A" button at the apex slice: it also turns views 1 and 2 to the outer centre.
        Nsa = v.apex;
        plat_send_message(WINDOW, VM_COMMAND, ID_APEX, 0);
    }
    return 1;
}

int MODEL_NOT_FITTED() {
    return ell_ok == 1 && ell_ri == 80 && ell_rj == 50 && ell_rk == 50 && ill_ri == 30 && ill_rj == 20 && ill_rk == 20
               ? 1
               : 0;
}
