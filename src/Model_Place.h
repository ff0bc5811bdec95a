// A placed ventricle model as values: read from the program's state, and placed
// back as "Centrer volume" and the drags place it. Model files and the study
// record are built on these.
#ifndef VESMORA_MODEL_PLACE_H
#define VESMORA_MODEL_PLACE_H

struct ModelValues {
    int outer_centre[3], outer_semi_axes[3];   // i, j, k
    int inner_centre[3], inner_semi_axes[3];
    int base_plane;
    int has_apex, apex;                        // apex optional
};

// Fills v from the program's current model (ell_*, ill_*, plan_i, apex_i). The apex is
// given (has_apex 1) only when it is not the one the model itself derives, that is when
// it was put with the "A" button.
void MODEL_CURRENT(ModelValues& v);

// 1 when every value lies within the limits the program keeps the model in: centres and
// base plane 12..244, outer semi-axes 12..120, inner 4..120, the inner centre on j and k
// equal to the outer one, the apex (when given) a slice 0..255, the inner ellipsoid inside
// the outer one (MODEL_SCORABLE). Else 0, and `why`
// (Latin-1, French) names the first field out of range ("outer.semi_axes[1]" ...).
int MODEL_CHECK(const ModelValues& v, char* why, int why_size);

// The one placing sequence of the program, on the model as the state holds it: the
// model counts as placed (ell_ok), the apex and ring levels are derived, the limits
// kept (VERIF_DISP), the levels derived again from the corrected model, and the views
// redrawn. "Centrer volume", the automatic placement, the model files and the
// validation of the automatic placement all end with it. The caller has checked that
// a volume is loaded. Returns 0.
int PLACE_MODEL();

// The apex at a short-axis slice, as the "A" button puts it: the short-axis view shows
// that slice, views 1 and 2 turn to the planes through the outer centre, the ring
// levels follow and the views are redrawn. Does nothing (returns 0) unless a volume is
// loaded and the model placed; 1 otherwise. The slice is not limited here.
int APEX_AT(int slice);

// 1 when the inner ellipsoid lies inside the outer one (surfaces may touch): only then is
// there a wall between them to sample. Else 0, and `why` (Latin-1, French) says so with
// both ellipsoids' semi-axes and centres on i. MODEL_CHECK refuses such a model too,
// naming the fields; "Résultats" refuses to evaluate it.
int MODEL_SCORABLE(const ModelValues& v, char* why, int why_size);

// Places the model as "Centrer volume" and the drags would (limits, apex and ring levels
// derived; apex set as the "A" button sets it when has_apex), then redraws. Refuses
// (returns 0, nothing changes) when no volume is loaded or a value is out of its range;
// `why` (Latin-1, French) then names the field ("outer.semi_axes[1]" ...).
int PLACE_MODEL(const ModelValues& v, char* why, int why_size);

// 1 when the model placed is still of the size a load gives it (outer semi-axes 80, 50, 50,
// inner 30, 20, 20): "Centrer volume" without any fitting to the heart. Else 0.
int MODEL_NOT_FITTED();

// Records how the model now shown was placed (MODEL_FROM_...; `file` with a model file) and
// the model as it stands, so that MODEL_ADJUSTED can tell a model moved or reshaped since.
void MODEL_PLACED_BY(int origin, const char* file);
// 1 when the model differs from the one MODEL_PLACED_BY recorded (a drag, a button), else 0.
int MODEL_ADJUSTED();

#endif
