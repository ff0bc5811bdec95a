// Automatic placement of the ventricle model: finds the left ventricle in the
// loaded volume and places both ellipsoids and the base plane on it.
#ifndef VESMORA_AUTO_PLACE_H
#define VESMORA_AUTO_PLACE_H

// Finds the model that fits the myocardium of the loaded volume and sets it as
// "Centrer volume" and the drags do (ell_ok, the limits, the apex and the levels),
// with the three views turned to its centre, then redraws. Returns 1 when a model
// was placed; 0 when no volume is loaded (nothing shown, nothing changed) or when no
// ventricle is found (a warning box says so and the model is left as it was).
int AUTO_PLACE();

// Whether the front ends offer the automatic placement now: once a study is loaded.
int AUTO_PLACE_AVAILABLE();

// What the search found, in voxels of the volume, before the limits and the rounding:
// the mid-wall ellipsoid (centre and semi-axes), the base plane and the counts that
// decided. Filled by every AUTO_PLACE that gets as far as the fit; `found` says whether
// it placed a model. For the validation tools and the tests.
struct AutoPlaceReport {
    int found;                   // 1: a model was placed
    int ring_slices;             // slices of the 64 grid where the chosen region is a ring
    double ci, cj, ck;           // mid-wall centre
    double ri, rj, rk;           // mid-wall semi-axes
    double base_i;               // base plane
    double wall_mean, cavity_mean;  // mean counts on the mid-wall and along the cavity's axis
    int points;                  // mid-wall points the fit kept
    double sigma;                // the blur found (sd of a Gaussian, voxels)
    double apex_edge;            // past the tip, where the counts averaged over the cap are half-way down
    double confidence;           // the lowest of the placement's margins, each 1 at its threshold: placed at 1 or more
    double closure;              // share of the rays across the model where its wall stands out on both sides
    double apex_dim;             // counts at the apex on the axis over the bright wall's
    double outside_ratio;        // median, over those rays, of the counts past the wall over the wall's
    int dark_gap;                // widest run of the 32 angles around the axis whose wall the fit ignored
    double lit_share;            // share of the short-axis crests the fit used
    double apex_gap;             // apex held by the cap's edge minus the crests' apex (voxels)
    double apex_held;            // the same minus the apex of the model placed (voxels)
    double axis_floor;           // lowest counts past the apex on the axis over the apex's crest
    double cavity;               // the model's cavity past the base plane (voxels)
    const char* weakest;         // the margin the confidence is the lowest of
    double scatter;              // rms distance of the short-axis crests used from the fitted surface
    double widen;                // the model's move out across the axis for the crests' noise (voxels)
};
extern AutoPlaceReport auto_place_report;

#endif
