// Sample studies: a left-ventricle phantom written as an anonymised NM DICOM file
// that the program reads (explicit VR little endian, signed 16-bit pixels last).
#ifndef VESMORA_SAMPLE_STUDY_H
#define VESMORA_SAMPLE_STUDY_H

#include <cstdint>
#include <string>
#include <vector>

namespace sample {

struct Options {
    int matrix = 64;        // rows = columns of every frame: 64 or 128
    int frames = 0;         // number of frames; 0: as many as the matrix
    double lad = 0;         // perfusion defect depth in percent, per coronary territory
    double lcx = 0;
    double rca = 0;
    double counts = 1000;   // myocardial concentration before blurring, in counts per voxel
    // Geometry of the heart, in voxels of the program's 256-cube (defaults: the table of
    // Geometry below). The liver follows the heart's centre and keeps its gap to the wall.
    double shift_i = 0, shift_j = 0, shift_k = 0;  // centre of the ventricle moved by this much
    double scale = 1;       // every semi-axis of the outer surface times this
    double wall = 8;        // wall thickness: inner semi-axes are the outer ones minus this
    double base = 0;        // base plane relative to the centre along i (towards the apex > 0)
    double fwhm = 15;       // camera resolution in mm
    double liver = 40;      // liver concentration in percent of the myocardium's
    double liver_near = 0;  // liver moved this many voxels towards the heart
    bool noise = true;      // Poisson noise
    std::uint64_t seed = 20260915;
    std::string name;       // patient's name in Latin-1 (ISO_IR 100); empty: "ANONYME^" + the kind of study
    std::string sex = "M";
    std::string birth_date = "19680314";
    std::string age = "058Y";
    std::string acq_date = "20260915";
    std::string patient_id;  // empty: "ANON-" + the kind of study
    std::string phase;       // "stress", "rest" or empty: said at the end of the Series Description
    // A gated reconstruction: `gates` time slots (0: a plain study) of the beating heart, gate 1
    // at end diastole (the geometry above), the cavity shrinking smoothly to end systole half-way
    // through the cycle and back. At end systole the cavity's semi-axes across the long axis are
    // `es_ratio` of their diastolic length and its long semi-axis 1 - 0.4 x (1 - es_ratio) (the
    // apex stays, the base plane comes down); the wall thickens so that the myocardium keeps its
    // volume. Each gate has its share of the counts.
    int gates = 0;
    double es_ratio = 0.6;
};

// Geometry of the phantom in voxels of the program's 256-cube after loading
// (the loader maps a 64 or 128 matrix onto 1.1988 mm voxels).
struct Geometry {
    static constexpr double ci = 128, cj = 128, ck = 128;         // centre of both ellipsoids
    static constexpr double base_i = 128;                         // no myocardium below it
    static constexpr double outer_ri = 70, outer_rj = 25, outer_rk = 25;
    static constexpr double inner_ri = 62, inner_rj = 17, inner_rk = 17;
    // Liver-like hot spot, inferior and septal of the ventricle.
    static constexpr double liver_ci = 140, liver_cj = 95, liver_ck = 62;
    static constexpr double liver_ri = 55, liver_rj = 40, liver_rk = 24;
    // Body outline (background), everything outside is air.
    static constexpr double body_ci = 128, body_cj = 128, body_ck = 118;
    static constexpr double body_ri = 140, body_rj = 115, body_rk = 100;
    // Levels of the territories along i, from the base: the apical ring starts at 2/3 and
    // the apex cap at 3/4 of the outer long semi-axis.
    static constexpr double apical_di = 70.0 * 0.75 * 2.0 / 3.0;  // 35
    static constexpr double apex_di = 70.0 * 0.75;                // 52.5
};

constexpr double kFovMm = 306.8928;        // 64 x 4.7952 mm, 128 x 2.3976 mm
constexpr double kFwhmMm = 15.0;           // camera resolution

// The heart the options describe, in voxels of the 256-cube.
struct Heart {
    double ci, cj, ck;                    // centre of both ellipsoids
    double outer_ri, outer_rj, outer_rk;  // outer surface of the myocardium
    double inner_ri, inner_rj, inner_rk;  // cavity
    double base_i;                        // no myocardium for i below it
    double apical_i, apex_i;              // where the apical ring and the apex cap start
    double liver_ci, liver_cj, liver_ck;  // centre of the liver-like hot spot
};
Heart heart_of(const Options& o);

// The heart of gate `gate` (0-based) of a gated study; heart_of(o) for gate 0 or a plain study.
Heart gate_heart(const Options& o, int gate);

// The cavity of gate `gate` in mL (the inner ellipsoid on the apex side of the base plane).
double gate_cavity_ml(const Options& o, int gate);

// The program's model of that heart (ell_*, ill_*, plan_i), each value rounded to the
// nearest voxel: what a perfect placement gives.
struct Model {
    int ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk;
    int ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk;
    int plan_i;
};
Model model_of(const Options& o);

// `truth` moved towards `found` by one voxel at most on every bounded value (centre j and k,
// apex, base plane, semi-axes across the axis, outer and inner), with the found model's
// centre on the axis, which the bounds leave free (the apex holds it): a segment this model
// scores as the found one does lies at the threshold, where no placement exact to the voxel
// reads it the same way every time.
Model towards(const Model& truth, const Model& found);

// The end-diastolic cavity of that heart in mL: the inner ellipsoid on the apex side of
// the base plane, in voxels of 1.1988 mm.
double cavity_ml(const Options& o);

// The size scale whose cavity is `ml` with the other options as they are; 0 when no
// scale of 0.45..1.5 gives it.
double scale_for_cavity(const Options& o, double ml);

// Which of "NORMAL", "LAD", "LCX", "RCA" (joined by '+') the options describe.
std::string kind_of(const Options& o);

// The Latin-1 bytes of a UTF-8 text, as the file's character set ISO_IR 100 holds them;
// false when the text is not UTF-8 or holds a letter beyond Latin-1.
bool latin1_of(const std::string& utf8, std::string& latin1);

// Checks the options; returns an empty text when they can be used, else what is wrong.
std::string check(const Options& o);

// The pixel block: frames x matrix x matrix signed 16-bit counts, frame after frame,
// row after row; for a gated study, gate after gate.
std::vector<std::int16_t> make_phantom(const Options& o);

// The whole file: preamble, "DICM", meta group, data set, Pixel Data last.
std::vector<std::uint8_t> make_dicom(const Options& o, const std::vector<std::int16_t>& pixels);

// Poisson random numbers from a fixed-seed generator (same output on every run).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next();
    double uniform();  // in [0, 1)
    long poisson(double mean);

private:
    std::uint64_t s_;
};

}  // namespace sample

#endif
