// Random user sessions: after the normal 64-matrix sample study is loaded, the
// input is read as a sequence of messages (every command id 0..70, presses,
// releases and moves anywhere up to the 16-bit limits, wheel turns, pop-up clicks,
// window moves, opens, the close request). After every message the model keeps the
// limits VERIF_DISP holds it to, and every sector and bull's-eye value is finite.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../tools/vesmora-cli/sample_study.h"
#include "Main_Wnd_Proc.h"
#include "fuzz_support.h"
#include "headless.h"
#include "main.h"

namespace {

// Every int of the model and the drag state, as the load left it.
struct Model {
    int load_ok, ech, NCZ, RAP, Nhla, Nvla, Nsa, palet, couleur, set_ombre;
    int ell_ok, ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk;
    int plan_i, apex_i, sect_i[5], amplii;
    int lbutt[3], rbutt[3], set_centre[3], set_centri[3], set_plan[2], slide[3];
    int buttposi, buttposj, elri_, elrj_, elrk_, ilri_, ilrj_, ilrk_, res_rot, res3D_prev;
    int res_ok, RES_DISP, res3D_ang;
};

#define VESMORA_MODEL_FIELDS(X)                                                                                        \
    X(load_ok) X(ech) X(NCZ) X(RAP) X(Nhla) X(Nvla) X(Nsa) X(palet) X(couleur) X(set_ombre) X(ell_ok) X(ell_ci)      \
    X(ell_cj) X(ell_ck) X(ell_ri) X(ell_rj) X(ell_rk) X(ill_ci) X(ill_cj) X(ill_ck) X(ill_ri) X(ill_rj) X(ill_rk)      \
    X(plan_i) X(apex_i) X(amplii) X(buttposi) X(buttposj) X(elri_) X(elrj_) X(elrk_) X(ilri_) X(ilrj_) X(ilrk_)       \
    X(res_rot) X(res3D_prev) X(res_ok) X(RES_DISP) X(res3D_ang)
#define VESMORA_MODEL_ARRAYS(X) X(sect_i) X(lbutt) X(rbutt) X(set_centre) X(set_centri) X(set_plan) X(slide)

Model saved;
std::vector<float> saved_sample, saved_bull;
std::string study;

void save() {
#define X(v) saved.v = ::v;
    VESMORA_MODEL_FIELDS(X)
#undef X
#define X(v) std::memcpy(saved.v, ::v, sizeof saved.v);
    VESMORA_MODEL_ARRAYS(X)
#undef X
    saved_sample.assign(SAMPLE, SAMPLE + 480 * 480);
    saved_bull.assign(BULL, BULL + 400 * 400);
}

void restore() {
#define X(v) ::v = saved.v;
    VESMORA_MODEL_FIELDS(X)
#undef X
#define X(v) std::memcpy(::v, saved.v, sizeof saved.v);
    VESMORA_MODEL_ARRAYS(X)
#undef X
    std::memcpy(SAMPLE, saved_sample.data(), sizeof SAMPLE);
    std::memcpy(BULL, saved_bull.data(), sizeof BULL);
    std::memset(SECTEUR, 0, sizeof SECTEUR);
    std::memset(SCORE, 0, sizeof SCORE);
    // The buffers the close request released come back as start-up made them.
    if (chaine == nullptr) {
        chaine = static_cast<char*>(std::calloc(CHAINE_SIZE, 1));
        BMPhla = static_cast<unsigned char*>(std::calloc(VIEW_BYTES, 1));
        BMPvla = static_cast<unsigned char*>(std::calloc(VIEW_BYTES, 1));
        BMPsa = static_cast<unsigned char*>(std::calloc(VIEW_BYTES, 1));
    }
    plat_check_dlg_button(WINDOW, 36, set_ombre);
    plat_set_window_pos(WINDOW, 60, 30, 846, 776);
    PLACE_POPUPS(60, 30);
    for (HWND_ w : {d3_A, d3_S, d3_I, d3_L}) plat_show_window(w, 0);
    for (int n = 1; n <= 17; n++) plat_show_window(winsect[n], 0);
    headless::state().open_answers.clear();
}

void setup() {
    sample::Options o;
    o.matrix = 64;
    const auto pixels = sample::make_phantom(o);
    const auto bytes = sample::make_dicom(o, pixels);
    study = fuzz::folder() + "/normal-64.dcm";
    FILE* f = std::fopen(study.c_str(), "wb");
    if (f == nullptr) fuzz::fail("cannot write the sample study", 0);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    fuzz::start();
    headless::queue_open_answer(study);
    plat_send_message(WINDOW, VM_COMMAND, 10, 0);
    if (load_ok != 1) fuzz::fail("the sample study did not load", 0);
    save();
}

void within(const char* name, int v, int lo, int hi) {
    if (v < lo || v > hi) fuzz::fail(name, v);
}

void check_model(bool after_results) {
    within("Nhla", Nhla, 0, 255);
    within("Nvla", Nvla, 0, 255);
    within("Nsa", Nsa, 0, 255);
    within("palet", palet, 0, 15);
    within("couleur", couleur, 0, 5);
    if (RES_DISP != 0 && RES_DISP != 1 && RES_DISP != 2 && RES_DISP != 12) fuzz::fail("RES_DISP", RES_DISP);
    if (ell_ok == 1) {
        within("ell_ri", ell_ri, 12, 120);
        within("ell_rj", ell_rj, 12, 120);
        within("ell_rk", ell_rk, 12, 120);
        within("ell_ci", ell_ci, 12, 244);
        within("ell_cj", ell_cj, 12, 244);
        within("ell_ck", ell_ck, 12, 244);
        within("ill_ri", ill_ri, 4, 120);
        within("ill_rj", ill_rj, 4, 120);
        within("ill_rk", ill_rk, 4, 120);
        within("ill_ci", ill_ci, 12, 244);
        if (ill_cj != ell_cj || ill_ck != ell_ck) fuzz::fail("the inner centre left the outer one on j, k", ill_cj);
        within("plan_i", plan_i, 0, 255);  // "P" puts it at the SA slice; the next correction brings it to 12..244
    }
    for (int n = 0; n < 18; n++)
        if (!std::isfinite(SECTEUR[n])) fuzz::fail("SECTEUR not finite", n);
    for (int n = 1; n < 18; n++) within("SCORE", SCORE[n], 0, 4);
    if (after_results)
        for (int n = 0; n < 400 * 400; n++)
            if (!std::isfinite(BULL[n])) fuzz::fail("BULL not finite", n);
}

// A client point: anywhere in 16 bits, in or near the window, on a handle, or at a limit.
int coordinate(FuzzedDataProvider& in, int handle, int span) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return in.ConsumeIntegral<std::uint16_t>();
    case 1:
        return in.ConsumeIntegralInRange(0, span);
    case 2: {
        const int v = handle + in.ConsumeIntegralInRange(-6, 6);
        return v < 0 ? 0 : v;
    }
    default: {
        static const int limits[] = {0, 1, 32767, 32768, 65534, 65535};
        return limits[in.ConsumeIntegralInRange(0, 5)];
    }
    }
}

std::intptr_t point(FuzzedDataProvider& in) {
    // Handles of the three views: centres and the base plane, as the hit tests place them.
    static const int hx[] = {23, 294, 563};
    const int view = in.ConsumeIntegralInRange(0, 2);
    const int hxv = view == 0 ? ell_cj + hx[0] : view == 1 ? ell_ci + hx[1] : ell_cj + hx[2];
    const int hyv = 305 - (view == 0 ? ell_ci : ell_ck);
    const int x = coordinate(in, hxv, 850), y = coordinate(in, hyv, 760);
    return static_cast<std::intptr_t>(MAKE_PARAM(x, y));
}

void one_message(FuzzedDataProvider& in) {
    bool results = false;
    switch (in.ConsumeIntegralInRange(0, 10)) {
    case 0: {
        const int id = in.ConsumeIntegralInRange(0, 70);
        if (id == 36) headless::toggle_check(WINDOW, 36);
        if (id == 10) {
            // "Ouvrir": the sample again, a cancel, or a file that is not there.
            switch (in.ConsumeIntegralInRange(0, 3)) {
            case 0: headless::queue_open_answer(study); break;
            case 1: headless::queue_open_answer(fuzz::folder() + "/absent.dcm"); break;
            default: headless::queue_open_cancel(); break;
            }
        }
        results = id == 45;
        plat_send_message(WINDOW, VM_COMMAND, MAKE_PARAM(id, in.ConsumeIntegral<std::uint16_t>()), 0);
        break;
    }
    case 1: plat_send_message(WINDOW, VM_LBUTTONDOWN, 0, point(in)); break;
    case 2: plat_send_message(WINDOW, VM_LBUTTONUP, 0, point(in)); break;
    case 3: plat_send_message(WINDOW, VM_RBUTTONDOWN, 0, point(in)); break;
    case 4: plat_send_message(WINDOW, VM_RBUTTONUP, 0, point(in)); break;
    case 5:
    case 6: plat_send_message(WINDOW, VM_MOUSEMOVE, 0, point(in)); break;
    case 7: {
        // Screen point: the client one moved by the window's frame, or any 16-bit pair.
        const std::intptr_t p = point(in);
        const int sx = LO_WORD(p) + 63, sy = HI_WORD(p) + 52;
        const bool raw = in.ConsumeBool();
        const int turn = in.ConsumeBool() ? (in.ConsumeBool() ? 120 : -120) : in.ConsumeIntegral<std::int16_t>();
        plat_send_message(WINDOW, VM_MOUSEWHEEL, MAKE_PARAM(0, turn),
                          raw ? p : static_cast<std::intptr_t>(MAKE_PARAM(sx, sy)));
        break;
    }
    case 8: {
        const int n = in.ConsumeIntegralInRange(0, 20);
        const HWND_ letters[4] = {d3_A, d3_S, d3_I, d3_L};
        HWND_ w = n < 4 ? letters[n] : winsect[n - 3];
        static const unsigned kinds[] = {VM_LBUTTONDOWN, VM_RBUTTONDOWN, VM_LBUTTONDBLCLK, VM_RBUTTONDBLCLK};
        plat_send_message(w, kinds[in.ConsumeIntegralInRange(0, 3)], 0, MAKE_PARAM(5, 5));
        break;
    }
    case 9: {
        const int l = in.ConsumeIntegral<std::int16_t>(), t = in.ConsumeIntegral<std::int16_t>();
        plat_set_window_pos(WINDOW, l, t, 846, 776);
        plat_send_message(WINDOW, VM_MOVE, 0, MAKE_PARAM(l, t));
        break;
    }
    default:
        plat_send_message(WINDOW, in.ConsumeBool() ? VM_CLOSE : VM_DESTROY, 0, 0);
        break;
    }
    check_model(results);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool ready = [] {
        setup();
        return true;
    }();
    (void)ready;
    restore();
    FuzzedDataProvider in(bytes, size);
    try {
        for (int n = 0; n < 64 && in.remaining_bytes() > 0; n++) {
            one_message(in);
            fuzz::trim_backend();
        }
    } catch (const fuzz::ProgramExit& e) {
        fuzz::fail("a session ended the program", e.status);
    }
    return 0;
}
