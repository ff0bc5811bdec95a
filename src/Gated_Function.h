// Function of a gated study: the left-ventricular cavity volume in each gate, measured from
// the gates the import kept (GATES) with the axis and base of the model placed on the summed
// study (or, when that placement is refused, on the gates about end diastole); EDV the largest gate volume, ESV the smallest, EF = (EDV - ESV) / EDV x 100.
// Volumes depend on the method and the reconstruction: every output says so.
#ifndef VESMORA_GATED_FUNCTION_H
#define VESMORA_GATED_FUNCTION_H

#include <string>
#include <vector>

#include "main.h"

// Fewer gates than this cannot show end systole: the result is flagged.
constexpr int FUNCTION_MIN_GATES = 8;

struct GatedFunction {
    bool measured = false;           // false: nothing measured, `reason` says why
    std::string reason;              // Latin-1 French, e.g. "L'\xE9tude n'est pas synchronis\xE9" "e."
    std::vector<double> volume_ml;   // cavity volume per gate, gate 1 first
    double edv_ml = 0, esv_ml = 0, ef_percent = 0;
    int ed_gate = 0, es_gate = 0;    // 1-based
    // Latin-1 French warnings; empty when none. Fewer than 8 gates, a flat or implausible
    // curve (EF under 5 % or over 90 %, EDV under 20 mL), a wall lost on many rays, an
    // end-systolic cavity about as narrow as the blur each add one; a flagged result is
    // shown with its warnings, never as a plain number.
    std::vector<std::string> flags;
    bool flagged() const { return !flags.empty(); }
};

// The volume curve over the cycle (one volume per gate) kept to its first CURVE_HARMONICS
// harmonics: all that 8 gates can show; with 16 gates the higher ones are mostly the noise of
// each gate's share of the counts, which the smallest volume picks up (dropping them brought
// 14 of the validation's 760 phantoms within the targets and took 4 out). Curves of 8 gates
// and fewer are left as they are.
constexpr int CURVE_HARMONICS = 4;
void SMOOTH_FUNCTION_CURVE(std::vector<double>& volume_ml);

// A measured result from its volume curve (one volume per gate, gate 1 first, not empty):
// EDV the largest, ESV the smallest, their gates (1-based, the first of equals), EF. Flags
// and the reason are left as they are.
void SET_FUNCTION_CURVE(GatedFunction& f, std::vector<double> volume_ml);

// The value of gate `gate` (0-based) at the volume grid point (i, j, k) (0..255 each,
// fractions allowed), read from GATES with the same orientation, mirrors and scale as the
// load gives `data`; 0 outside the source frames. GATES must hold a study (count > 0).
float GATE_SAMPLE(int gate, float i, float j, float k);

// Measures the function of the study loaded last from GATES and the model placed now
// (ell_*, ill_*, plan_i, apex_i). Not measured when the study is not gated or no model is
// placed (`reason` says which).
GatedFunction MEASURE_FUNCTION();

// When the summed study's automatic placement is refused, the function may still be
// measured: places the model with AUTO_PLACE on the gates about end diastole (the last, the
// first and the second, scaled to the summed study's counts), where the cavity is at its
// largest, then puts the summed study back into `data`. Returns 1 when a model was placed.
// That model stands on those gates, not on the summed study: it gives the function its axis
// and base, never the perfusion its scores. 0, nothing changed, when the study holds fewer
// than three gates.
int AUTO_PLACE_ON_END_DIASTOLE();

// The common sentence every output carries beside the numbers (Latin-1).
inline constexpr const char* FUNCTION_METHOD_NOTE =
    "Volumes mesur\xE9s sur les intervalles : ils d\xE9pendent de la m\xE9thode et de la reconstruction.";

#endif
