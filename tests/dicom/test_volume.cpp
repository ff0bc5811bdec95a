// The volume loader: the dialog, caption and patient text, the resampling into
// the 256^3 volume, the scaling and mirrors, the reset of the interaction state,
// and every refusal (which must leave the last good study whole).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <vector>

#include "dicom_test_util.h"
#include "literal.h"
#include "layout.h"
#include "volume_pages.h"

namespace {

struct Shape {
    int ech, frames;
    int i_lo, i_hi, j_lo, j_hi, k_lo, k_hi;  // filled elements after a load
};

std::vector<std::int16_t> constant_pixels(int rows, int cols, int frames, int value) {
    return std::vector<std::int16_t>(static_cast<std::size_t>(rows) * cols * frames, static_cast<std::int16_t>(value));
}

std::vector<std::int16_t> random_pixels(int ech, int frames, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_int_distribution<int> d(-200, 3000);
    std::vector<std::int16_t> v(static_cast<std::size_t>(ech) * ech * frames);
    for (auto& x : v) x = static_cast<std::int16_t>(d(gen));
    return v;
}

std::uint64_t volume_hash() {
    std::uint64_t h = 1469598103934665603ull;
    for (int n = 0; n < VOL_SIZE; n += 2) {
        std::uint64_t w;
        std::memcpy(&w, data + n, sizeof w);
        h = (h ^ w) * 1099511628211ull;
    }
    return h;
}

// Trilinear mix of the source at (row x, column y, frame z) computed in double with
// the usual (1 - t, t) weights, independent of the program's tables.
double mix(const std::vector<std::int16_t>& px, int ech, int frames, double x, double y, double z) {
    const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y)),
              z0 = static_cast<int>(std::floor(z));
    if (x0 < 0 || x0 + 1 >= ech || y0 < 0 || y0 + 1 >= ech || z0 < 0 || z0 + 1 >= frames) return 0.0;
    const double tx = x - x0, ty = y - y0, tz = z - z0;
    double v = 0;
    for (int c = 0; c < 2; c++)
        for (int a = 0; a < 2; a++)
            for (int b = 0; b < 2; b++) {
                const double w = (a ? tx : 1 - tx) * (b ? ty : 1 - ty) * (c ? tz : 1 - tz);
                v += w * px[(static_cast<std::size_t>(z0 + c) * ech + x0 + a) * ech + y0 + b];
            }
    return v;
}

// The element (i, j, k) after a load: the mix at row i/RAP, column (ech-1) - (255-j)/RAP,
// frame (frames-1) - (255-k)/RAP + (ech-frames)/2, before scaling.
double expected_mix(const std::vector<std::int16_t>& px, int ech, int frames, int i, int j, int k) {
    const double rap = 256 / ech;
    return mix(px, ech, frames, i / rap, (ech - 1) - (255 - j) / rap, (frames - 1) - (255 - k) / rap + (ech - frames) / 2.0);
}

class VolumeTest : public DicomTest {
protected:
    std::vector<std::intptr_t> refresh_seen;  // RAP, ell_ok, set_centre[0] at each refresh
    std::vector<std::vector<float>> refresh_state;  // the whole reset state at each refresh

    static std::intptr_t proc(HWND_, unsigned msg, std::uintptr_t, std::intptr_t) {
        if (msg == VM_INITDIALOG && current != nullptr) {
            current->refresh_seen.push_back(RAP * 100 + ell_ok * 10 + set_centre[0]);
            current->refresh_state.push_back(std::vector<float>{
                float(Nhla), float(Nvla), float(Nsa), float(ell_ri), float(ell_rj), float(ell_rk), float(ill_ri),
                float(ill_rj), float(ill_rk), float(RAP), float(res3D_ang), float(set_centre[0] + set_centre[1] + set_centre[2]),
                float(set_centri[0] + set_centri[1] + set_centri[2]), float(set_plan[0] + set_plan[1]),
                float(slide[0] + slide[1] + slide[2]), float(ell_ok), float(res_ok), SAMPLE[0], SECTEUR[17],
                data[128 * 65536 + 128 * 256 + 128]});
        }
        return 0;
    }
    static VolumeTest* current;

    void SetUp() override {
        DicomTest::SetUp();
        WINDOW = plat_create_window(TPL_WIN, nullptr, proc);
        current = this;
    }
    void TearDown() override {
        current = nullptr;
        DicomTest::TearDown();
    }

    std::string study(const std::string& name, DicomWriter w, const std::vector<std::int16_t>& px) {
        w.pixels(px);
        return save(w.bytes(), name);
    }
    int load(const std::string& path) {
        headless::queue_open_answer(path);
        return LOAD_DCM_FILE();
    }
    std::string caption() { return WINDOW->caption; }
    std::string patient() { return headless::text_of(WINDOW, ID_PATIENT); }
};
VolumeTest* VolumeTest::current = nullptr;

class FilledRange : public VolumeTest, public ::testing::WithParamInterface<Shape> {};

}  // namespace

TEST_P(FilledRange, ElementsAreFilledExactlyInTheirRangeAndTheLargestIs100) {
    const Shape s = GetParam();
    const std::string path = study("s.dcm", nm_header(s.ech, s.ech, s.frames), constant_pixels(s.ech, s.ech, s.frames, 1000));
    ASSERT_EQ(load(path), 1);
    float largest = 0;
    for (int i = 0; i < 256; i++)
        for (int j = 0; j < 256; j++)
            for (int k = 0; k < 256; k++) {
                const bool inside = i >= s.i_lo && i <= s.i_hi && j >= s.j_lo && j <= s.j_hi && k >= s.k_lo && k <= s.k_hi;
                const float v = volume_at(i, j, k);
                if (inside)
                    ASSERT_NEAR(v, 100.0f, 1e-4) << i << " " << j << " " << k;
                else
                    ASSERT_EQ(v, 0.0f) << i << " " << j << " " << k;
                if (v > largest) largest = v;
            }
    EXPECT_EQ(largest, 100.0f);
}

INSTANTIATE_TEST_SUITE_P(Shapes, FilledRange,
                         ::testing::Values(Shape{64, 64, 0, 251, 3, 254, 3, 254},     // RAP 4
                                           Shape{128, 128, 0, 253, 1, 254, 1, 254},   // RAP 2
                                           Shape{64, 32, 0, 251, 3, 254, 67, 190},    // fewer frames: middle of k
                                           Shape{64, 128, 0, 251, 3, 254, 0, 255},    // more frames: frames 31.25..95
                                           Shape{100, 64, 0, 197, 57, 254, 93, 218},  // 256 / 100 = 2
                                           Shape{256, 8, 0, 254, 0, 254, 124, 130},   // RAP 1: frame 131 - (255 - k)
                                           Shape{2, 2, 0, 127, 127, 254, 127, 254}),  // RAP 128: the smallest study
                         [](const auto& info) {
                             return std::to_string(info.param.ech) + "x" + std::to_string(info.param.frames);
                         });

TEST_F(VolumeTest, ElementsMatchAnIndependentTrilinearMix) {
    // RAP 4; RAP 2 with a matrix that does not divide 256; RAP 3 with a shift of half a frame.
    const int shapes[][2] = {{64, 40}, {100, 64}, {80, 51}};
    for (const auto& shape : shapes) {
        const int e = shape[0], f = shape[1];
        const auto px = random_pixels(e, f, static_cast<unsigned>(7 + e));
        ASSERT_EQ(load(study("r.dcm", nm_header(e, e, f), px)), 1);
        // The reference scale: the largest element, which must be 100 exactly.
        int best = 0;
        for (int n = 1; n < VOL_SIZE; n++)
            if (data[n] > data[best]) best = n;
        ASSERT_EQ(data[best], 100.0f);
        const double top = expected_mix(px, e, f, best / 65536, (best / 256) % 256, best % 256);
        std::vector<std::array<int, 3>> probes = {{0, 3, 100},  {17, 200, 130}, {128, 128, 128}, {251, 254, 160},
                                                  {99, 5, 110}, {200, 77, 140}, {45, 250, 96},   {130, 131, 157}};
        std::mt19937 gen(static_cast<unsigned>(e));
        std::uniform_int_distribution<int> d(0, 255);
        for (int n = 0; n < 200; n++) probes.push_back({d(gen), d(gen), d(gen)});
        for (const auto& p : probes) {
            const double want =
                std::max(0.0, std::min(100.0, expected_mix(px, e, f, p[0], p[1], p[2]) * 100.0 / top));
            ASSERT_NEAR(volume_at(p[0], p[1], p[2]), want, 1e-3) << e << "x" << f << ": " << p[0] << " " << p[1] << " " << p[2];
        }
    }
}

// Fast and step-by-step loads of the same file give the same volume, log and state.
class LiteralLoadTest : public VolumeTest {
protected:
    // Loads the file step by step, then as the program does: the same log and state, every
    // element within 1e-5, the largest exactly 100.
    void expect_same_as_literal(const std::string& path, int e, int f);
};

void LiteralLoadTest::expect_same_as_literal(const std::string& path, int e, int f) {
    const std::string log_before = log();
    ech = e;
    NCZ = f;
    fich = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(LITERAL_READ_DATA(), 0);
    std::vector<float> literal(data, data + VOL_SIZE);
    const std::string literal_log = log();
    ASSERT_NE(literal_log, log_before);
    std::fclose(fich);

    INIT_STATE();
    ech = e;
    NCZ = f;
    fich = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(READ_DATA(), 0);
    std::fclose(fich);
    fich = nullptr;
    float worst = 0, largest = 0;
    for (int n = 0; n < VOL_SIZE; n++) {
        worst = std::max(worst, std::fabs(data[n] - literal[n]));
        largest = std::max(largest, data[n]);
    }
    EXPECT_LE(worst, 1e-5f);
    EXPECT_EQ(largest, 100.0f);
    EXPECT_EQ(log(), literal_log);
    EXPECT_EQ(RAP, 1);
}

class SameAsLiteral : public LiteralLoadTest, public ::testing::WithParamInterface<std::pair<int, int>> {};

TEST_P(SameAsLiteral, EveryElementWithin1e5AndTheLargestExactly100) {
    const auto [e, f] = GetParam();
    const std::string path = study("l.dcm", nm_header(e, e, f), random_pixels(e, f, static_cast<unsigned>(e * 1000 + f)));
    expect_same_as_literal(path, e, f);
}

INSTANTIATE_TEST_SUITE_P(Shapes, SameAsLiteral,
                         ::testing::Values(std::pair{64, 64}, std::pair{128, 128}, std::pair{64, 32},
                                           std::pair{100, 64}, std::pair{64, 128}, std::pair{37, 5},
                                           // RAP 3 with a shift of half a frame, RAP 128, RAP 1 with 7 frames
                                           std::pair{80, 51}, std::pair{2, 2}, std::pair{255, 7}),
                         [](const auto& info) {
                             return std::to_string(info.param.first) + "x" + std::to_string(info.param.second);
                         });

// Without a negative pixel the loader seeks the largest element only near the hottest pixels.
// One pixel three times hotter than the rest, put where no element samples it at full weight
// (the last row, the last column, the first frame) or between the samples (RAP 3), must still
// give the scale: a missed element would leave others above 100 or a different log.
struct Peak {
    int ech, frames, frame, row, col;
};
class PeakAsLiteral : public LiteralLoadTest, public ::testing::WithParamInterface<Peak> {};

TEST_P(PeakAsLiteral, TheHottestElementSetsTheScaleAsInTheStepByStepLoad) {
    const Peak p = GetParam();
    std::mt19937 gen(static_cast<unsigned>(p.ech * 7 + p.col));
    std::uniform_int_distribution<int> d(0, 1000);
    std::vector<std::int16_t> px(static_cast<std::size_t>(p.ech) * p.ech * p.frames);
    for (auto& x : px) x = static_cast<std::int16_t>(d(gen));
    px[(static_cast<std::size_t>(p.frame) * p.ech + p.row) * p.ech + p.col] = 3000;
    expect_same_as_literal(study("peak.dcm", nm_header(p.ech, p.ech, p.frames), px), p.ech, p.frames);
}

INSTANTIATE_TEST_SUITE_P(Places, PeakAsLiteral,
                         ::testing::Values(Peak{64, 64, 30, 63, 20}, Peak{128, 128, 0, 40, 127},
                                           Peak{64, 64, 33, 17, 0}, Peak{80, 51, 25, 41, 38},
                                           Peak{100, 64, 63, 99, 99}),
                         [](const auto& info) {
                             const Peak& p = info.param;
                             return std::to_string(p.ech) + "x" + std::to_string(p.frames) + "_" +
                                    std::to_string(p.frame) + "_" + std::to_string(p.row) + "_" +
                                    std::to_string(p.col);
                         });

// A worker of the batch leaves the clearing of the volume to the next load: that load gives the
// volume a fresh start would, and a refused one leaves zeros once the clearing is settled.
TEST_F(VolumeTest, AClearingLeftToTheNextLoadGivesWhatAFreshStartGives) {
    const std::string a = study("a.dcm", nm_header(64, 64, 64), random_pixels(64, 64, 1));
    const std::string b = study("b.dcm", nm_header(64, 64, 32), constant_pixels(64, 64, 32, 700));
    const std::string flat = study("flat.dcm", nm_header(64, 64, 64), constant_pixels(64, 64, 64, 0));
    auto load = [](const std::string& path, int frames) {
        ech = 64;
        NCZ = frames;
        fich = std::fopen(path.c_str(), "rb");
        const int r = READ_DATA();
        std::fclose(fich);
        fich = nullptr;
        return r;
    };
    struct Restore {
        ~Restore() { VOLUME_CLEAR_LATER(0); }
    } restore;
    ASSERT_EQ(load(a, 64), 0);
    INIT_STATE();
    ASSERT_EQ(load(b, 32), 0);
    const std::uint64_t fresh = volume_hash();

    ASSERT_EQ(load(a, 64), 0);
    VOLUME_CLEAR_LATER(1);
    INIT_STATE();
    ASSERT_EQ(load(b, 32), 0);
    EXPECT_EQ(volume_hash(), fresh);

    ASSERT_EQ(load(a, 64), 0);
    INIT_STATE();
    EXPECT_EQ(load(flat, 64), 1);  // no positive value: refused, nothing written
    VOLUME_SETTLE();
    EXPECT_TRUE(std::all_of(data, data + VOL_SIZE, [](float v) { return v == 0.0f; }));
}

TEST(SwitchSlices, Mode1MirrorsAxis3AndMode2MirrorsAxis2) {
    for (int n = 0; n < VOL_SIZE; n++) data[n] = static_cast<float>(n % 1000003);
    DATA_CHANGED();
    const auto value = [](int i, int j, int k) { return static_cast<float>((i * 65536 + j * 256 + k) % 1000003); };
    // Each mirror counts as a change of the volume (the views must not show the planes they kept).
    unsigned long before = data_generation;
    SWITCH_SLICES(1);
    EXPECT_NE(data_generation, before);
    before = data_generation;
    EXPECT_EQ(volume_at(3, 7, 0), value(3, 7, 255));
    EXPECT_EQ(volume_at(3, 7, 200), value(3, 7, 55));
    EXPECT_EQ(volume_at(255, 255, 255), value(255, 255, 0));
    SWITCH_SLICES(2);
    EXPECT_NE(data_generation, before);
    EXPECT_EQ(volume_at(3, 7, 0), value(3, 248, 255));
    EXPECT_EQ(volume_at(100, 128, 127), value(100, 127, 128));
    EXPECT_EQ(volume_at(0, 0, 0), value(0, 255, 255));
    SWITCH_SLICES(9);  // any other mode leaves the volume alone
    EXPECT_EQ(volume_at(0, 0, 0), value(0, 255, 255));
}

TEST_F(VolumeTest, UnsignedPixelsStayHotWhenThePixelRepresentationSaysSo) {
    // The bug was that 40000 in an unsigned file was read as -25536: hot wall turned cold.
    std::vector<std::int16_t> px = constant_pixels(64, 64, 64, 1000);
    for (std::size_t n = 32 * 64 * 64; n < px.size(); n++) px[n] = static_cast<std::int16_t>(static_cast<std::uint16_t>(40000));
    ASSERT_EQ(load(study("u.dcm", nm_header_pixels(64, 64, 64, 16, 0), px)), 1);
    EXPECT_NEAR(volume_at(128, 128, 43), 2.5f, 1e-4);  // 1000 of 40000
    EXPECT_EQ(volume_at(128, 128, 139), 100.0f);
    EXPECT_NE(log().find("Max data : 40000.0\nMin data : 0.0\n"), std::string::npos) << log();
}

TEST_F(VolumeTest, RescaleIsAppliedBeforeTheResamplingAndLogged) {
    // The bug was that an intercept of 500 was ignored (the walk stopped before it): the
    // cold half, stored 0, is 500 of 1500 once rescaled.
    std::vector<std::int16_t> px = constant_pixels(64, 64, 64, 1000);
    for (std::size_t n = 32 * 64 * 64; n < px.size(); n++) px[n] = 0;
    ASSERT_EQ(load(study("i.dcm", nm_header(64, 64, 64).element(0x0028, 0x1052, "DS", "500 "), px)), 1);
    EXPECT_EQ(volume_at(128, 128, 43), 100.0f);
    EXPECT_NEAR(volume_at(128, 128, 139), 100.0f / 3, 1e-4);
    EXPECT_NE(log().find("\n RESCALE : slope 1  -  intercept 500\n-----------------------\n\nMax data : 1500.0\nMin "
                         "data : 0.0\n"),
              std::string::npos)
        << log();
    // A slope of 1 in a file without Acquisition Date (the walk meets it before the nine
    // are complete) ended the program; it loads, and gives the volume of the same file
    // without it, bit for bit.
    DicomWriter no_acq;
    no_acq.element(0x0010, 0x0010, "PN", "DOE^JOHN").element(0x0028, 0x0008, "IS", "64").us(0x0028, 0x0010, 64);
    no_acq.us(0x0028, 0x0011, 64);
    const auto random = random_pixels(64, 64, 11);
    ASSERT_EQ(load(study("n.dcm", no_acq, random)), 1);
    const std::uint64_t plain = volume_hash();
    ASSERT_EQ(load(study("s.dcm", DicomWriter(no_acq).element(0x0028, 0x1053, "DS", "1 "), random)), 1);
    EXPECT_EQ(volume_hash(), plain);
    EXPECT_EQ(boxes(), 0);
}

TEST_F(VolumeTest, PixelsWithoutPixelRepresentationAreSignedAsBefore) {
    // Frames 0..31 hold 1000, frames 32..63 hold 40000 as unsigned 16-bit (read as -25536).
    std::vector<std::int16_t> px = constant_pixels(64, 64, 64, 1000);
    for (std::size_t n = 32 * 64 * 64; n < px.size(); n++) px[n] = static_cast<std::int16_t>(static_cast<std::uint16_t>(40000));
    ASSERT_EQ(load(study("u.dcm", nm_header(64, 64, 64), px)), 1);
    // After the mirror the frame is k/4 - 0.75: k 43 lies on frame 10, k 139 on frame 34.
    EXPECT_NEAR(volume_at(128, 128, 43), 100.0f, 1e-4);
    EXPECT_EQ(volume_at(128, 128, 139), 0.0f);
    EXPECT_NE(log().find("Min data : -25536.0\n"), std::string::npos) << log();
}

TEST_F(VolumeTest, LoadSetsCaptionPatientTextAndLogsTheExtremes) {
    const std::string path = study("c.dcm", nm_header(64, 64, 64), constant_pixels(64, 64, 64, 1000));
    ASSERT_EQ(load(path), 1);
    ASSERT_EQ(headless::state().open_requests.size(), 1u);
    const auto& rq = headless::state().open_requests[0];
    EXPECT_EQ(rq.owner, WINDOW);
    EXPECT_EQ(rq.title, "Ouvrir un fichier Dicom");
    EXPECT_EQ(rq.filter_name, "fichier DICOM");
    EXPECT_EQ(rq.filter_pattern, "*.dcm;DICOMDIR;*.");
    EXPECT_EQ(rq.path_size, 260);
    EXPECT_EQ(caption(), "  Vesmora    -    [ " + path + " ]");
    EXPECT_EQ(patient(), "Infos patient :\nDOE JOHN  ( F )\nN\xE9(e) : 14/02/1958\nExam : 03/11/2026");
    EXPECT_EQ(boxes(), 0);
    EXPECT_EQ(fich, nullptr);
    // Two files: two header blocks, each followed by its extremes.
    const std::string block = log();
    const std::string tail = "\n-----------------------\n\nMax data : 1000.0\nMin data : 0.0\n";
    ASSERT_GT(block.size(), tail.size());
    EXPECT_EQ(block.substr(block.size() - tail.size()), tail);
    ASSERT_EQ(load(path), 1);
    EXPECT_EQ(log(), block + block);
}

TEST_F(VolumeTest, LoadResetsTheInteractionStateInItsOrder) {
    ASSERT_EQ(load(study("a.dcm", nm_header(64, 64, 64), constant_pixels(64, 64, 64, 500))), 1);
    Nhla = 3, Nvla = 4, Nsa = 5;
    ell_ri = ell_rj = ell_rk = ill_ri = ill_rj = ill_rk = 7;
    res3D_ang = 2;
    for (int n = 0; n < 3; n++) set_centre[n] = set_centri[n] = slide[n] = 1;
    set_plan[0] = set_plan[1] = 1;
    ell_ok = res_ok = 1;
    ell_ci = 99, plan_i = 98;  // not part of the reset
    for (float& v : SAMPLE) v = 1.0f;
    for (float& v : SECTEUR) v = 5.0f;
    refresh_seen.clear();
    refresh_state.clear();
    headless::state().sent.clear();
    std::memset(data, 0, sizeof(float) * VOL_SIZE);  // the first study's centre would hide a late volume
    DATA_CHANGED();

    ASSERT_EQ(load(study("b.dcm", nm_header(128, 128, 64), constant_pixels(128, 128, 64, 500))), 1);
    EXPECT_EQ(Nhla, 128);
    EXPECT_EQ(Nvla, 128);
    EXPECT_EQ(Nsa, 128);
    EXPECT_EQ(ell_ri, 80);
    EXPECT_EQ(ell_rj, 50);
    EXPECT_EQ(ell_rk, 50);
    EXPECT_EQ(ill_ri, 30);
    EXPECT_EQ(ill_rj, 20);
    EXPECT_EQ(ill_rk, 20);
    EXPECT_EQ(RAP, 1);
    EXPECT_EQ(res3D_ang, 8);
    for (int n = 0; n < 3; n++) EXPECT_EQ(set_centre[n] + set_centri[n] + slide[n], 0);
    EXPECT_EQ(set_plan[0] + set_plan[1], 0);
    EXPECT_EQ(ell_ok + res_ok, 0);
    EXPECT_EQ(ell_ci, 99);
    EXPECT_EQ(plan_i, 98);
    // The refresh is sent twice: first with the load's RAP (2) and the old flags,
    // then with RAP 1 and the flags cleared.
    EXPECT_EQ(headless::state().sent, (std::vector<std::string>{"272 0 0", "272 0 0"}));
    EXPECT_EQ(refresh_seen, (std::vector<std::intptr_t>{211, 100}));
    // Everything else in its place at each refresh: the new volume is made before the
    // first; the slices and semi-axes come before it, the step, the turning step and
    // the flags between the two, and the ray table and the sectors are cleared last.
    const float centre = volume_at(128, 128, 128);
    EXPECT_GT(centre, 0.0f);
    EXPECT_EQ(refresh_state, (std::vector<std::vector<float>>{
                                 {128, 128, 128, 80, 50, 50, 30, 20, 20, 2, 2, 3, 3, 2, 3, 1, 1, 1.0f, 5.0f, centre},
                                 {128, 128, 128, 80, 50, 50, 30, 20, 20, 1, 8, 0, 0, 0, 0, 0, 0, 1.0f, 5.0f, centre}}));
    // The ray table is cleared over its used extent (240 rows of 480), the sectors 0..17.
    EXPECT_EQ(SAMPLE[0], 0.0f);
    EXPECT_EQ(SAMPLE[239 * 480 + 479], 0.0f);
    EXPECT_EQ(SAMPLE[240 * 480], 1.0f);
    for (float v : SECTEUR) EXPECT_EQ(v, 0.0f);
}

TEST_F(VolumeTest, CancelledDialogChangesNothing) {
    const std::string path = study("a.dcm", nm_header(64, 64, 64), constant_pixels(64, 64, 64, 500));
    ASSERT_EQ(load(path), 1);
    const std::uint64_t before = volume_hash();
    const std::string log_before = log();
    Nhla = 5;
    ell_ok = 1;
    headless::queue_open_cancel();
    EXPECT_EQ(LOAD_DCM_FILE(), 0);
    EXPECT_EQ(volume_hash(), before);
    EXPECT_EQ(log(), log_before);
    EXPECT_EQ(boxes(), 0);
    EXPECT_EQ(Nhla, 5);
    EXPECT_EQ(ell_ok, 1);
    EXPECT_EQ(caption(), "  Vesmora    -    [ " + path + " ]");
}

// ---- refusals: one box, result 0, the last good study whole ----------------------------------

namespace {

struct Refused {
    const char* what;
    std::function<std::string(VolumeTest&)> make;  // the file (its path)
    const char* box;                                // a part of the box text
};

}  // namespace

class RefusalTest : public VolumeTest {
protected:
    std::string bytes_for(DicomWriter w, const std::vector<std::int16_t>& px) {
        w.pixels(px);
        return w.bytes();
    }
    void expect_refused(const std::string& path, const std::string& box_part) {
        const std::uint64_t vol = volume_hash();
        const std::string cap = caption(), pat = patient();
        const int n_boxes = boxes();
        const int nz = NCZ, e = ech, h = OrImSize_H, v = OrImSize_V, dnz = Data_NZ;
        const float xy = VOXEL_SIZE_XY, z = VOXEL_SIZE_Z;
        const std::string name = PAT_NAME, sex = PAT_SEX, birth = PAT_DATE, acq = ACQ_DATE, age = PAT_AGE;
        const std::string id = PAT_ID, uid = STUDY_UID;
        const double slope = RESCALE_SLOPE, intercept = RESCALE_INTERCEPT;
        const int bits = BITS_ALLOC, unsigned_px = PIX_UNSIGNED, computed = PAT_AGE_COMPUTED;
        const int rap = RAP, nh = Nhla;
        Nhla = 17;
        EXPECT_EQ(load(path), 0);
        ASSERT_EQ(boxes(), n_boxes + 1);
        EXPECT_EQ(headless::state().boxes.back().title, "Vesmora");
        EXPECT_EQ(headless::state().boxes.back().icon, ICON_WARNING);
        EXPECT_NE(last_box().find(box_part), std::string::npos) << last_box();
        EXPECT_EQ(volume_hash(), vol);
        EXPECT_EQ(caption(), cap);
        EXPECT_EQ(patient(), pat);
        EXPECT_EQ(NCZ, nz);
        EXPECT_EQ(ech, e);
        EXPECT_EQ(Data_NZ, dnz);
        EXPECT_EQ(OrImSize_H, h);
        EXPECT_EQ(OrImSize_V, v);
        EXPECT_EQ(VOXEL_SIZE_XY, xy);
        EXPECT_EQ(VOXEL_SIZE_Z, z);
        EXPECT_EQ(std::string(PAT_NAME), name);
        EXPECT_EQ(std::string(PAT_SEX), sex);
        EXPECT_EQ(std::string(PAT_DATE), birth);
        EXPECT_EQ(std::string(ACQ_DATE), acq);
        EXPECT_EQ(std::string(PAT_AGE), age);
        EXPECT_EQ(std::string(PAT_ID), id);
        EXPECT_EQ(std::string(STUDY_UID), uid);
        EXPECT_EQ(PAT_AGE_COMPUTED, computed);
        EXPECT_EQ(RESCALE_SLOPE, slope);
        EXPECT_EQ(RESCALE_INTERCEPT, intercept);
        EXPECT_EQ(BITS_ALLOC, bits);
        EXPECT_EQ(PIX_UNSIGNED, unsigned_px);
        EXPECT_EQ(RAP, rap);
        EXPECT_EQ(Nhla, 17);
        EXPECT_EQ(fich, nullptr);
        Nhla = nh;
    }
};

TEST_F(RefusalTest, FilesThatCannotGiveAVolumeAreRefusedAndTheLastGoodStudyStays) {
    const std::string good = study("good.dcm", nm_header(64, 64, 64), random_pixels(64, 64, 3));
    ASSERT_EQ(load(good), 1);
    const std::string other = "OTHER^PATIENT";
    const auto header = [&](int r, int c, int f) { return nm_header(r, c, f, other, "19991231", "077Y"); };

    expect_refused(dir.str() + "/missing.dcm", "Impossible d'ouvrir");
    expect_refused(save("not dicom, just text"), "n'est pas un fichier dicom valide");
    expect_refused(save(bytes_for(header(1, 1, 64), constant_pixels(1, 1, 64, 5)), "r1.dcm"), "entre 2 et 256");
    expect_refused(save(bytes_for(header(300, 300, 2), constant_pixels(300, 300, 2, 5)), "r300.dcm"), "entre 2 et 256");
    expect_refused(save(bytes_for(header(64, 64, 1), constant_pixels(64, 64, 1, 5)), "f1.dcm"), "au moins 2");
    expect_refused(save(bytes_for(header(64, 64, 0), constant_pixels(64, 64, 2, 5)), "f0.dcm"), "au moins 2");
    // Fewer bytes than the block: 64 frames announced, 10 given.
    expect_refused(save(bytes_for(header(64, 64, 64), constant_pixels(64, 64, 10, 5)), "short.dcm"),
                   "Fichier incomplet");
    // A frame count whose block overflows 32 bits (2 x 256 x 256 x 2000000000).
    expect_refused(save(bytes_for(header(256, 256, 2000000000), constant_pixels(4, 4, 2, 5)), "huge.dcm"),
                   "262144000000000 octets");
    // Rows and Columns both present and different.
    expect_refused(save(bytes_for(header(64, 32, 64), constant_pixels(64, 64, 64, 5)), "rect.dcm"),
                   "Images non carr\xE9" "es (64 lignes, 32 colonnes)");
    // A volume whose largest element is 0, and one with only negative pixels.
    expect_refused(save(bytes_for(header(64, 64, 64), constant_pixels(64, 64, 64, 0)), "zero.dcm"),
                   "aucune valeur positive");
    expect_refused(save(bytes_for(header(64, 64, 64), constant_pixels(64, 64, 64, -3)), "neg.dcm"),
                   "aucune valeur positive");
    // A refused file whose long date and age replaced their texts gets the old ones back.
    expect_refused(save(bytes_for(nm_header(64, 64, 1, other, std::string(60, '2'), std::string(30, '4')),
                                  constant_pixels(64, 64, 1, 5)),
                        "long.dcm"),
                   "au moins 2");
    // Pixels whose meaning is unknown: 8 bits allocated, a slope of 0 or below or no
    // number, a pixel representation that is neither 0 nor 1.
    const auto with = [&](DicomWriter w) { return bytes_for(w.element(0x0010, 0x0020, "LO", "IPP-2 "),
                                                            constant_pixels(64, 64, 64, 5)); };
    expect_refused(save(with(nm_header_pixels(64, 64, 64, 8, 1, other)), "b8.dcm"), "8 bits par pixel");
    expect_refused(save(with(header(64, 64, 64).element(0x0028, 0x1053, "DS", "0 ")), "s0.dcm"),
                   "Pente de mise \xE0 l'\xE9" "chelle non prise en charge (Rescale Slope, 0028,1053) : 0.");
    expect_refused(save(with(header(64, 64, 64).element(0x0028, 0x1053, "DS", "-2")), "sneg.dcm"), ": -2.");
    expect_refused(save(with(header(64, 64, 64).element(0x0028, 0x1052, "DS", "5O0 ")), "inan.dcm"),
                   "(Rescale Intercept, 0028,1052 : \xAB 5O0 \xBB)");
    expect_refused(save(with(nm_header_pixels(64, 64, 64, 16, 2, other)), "r2.dcm"), "Pixel Representation");
    expect_refused(save(with(header(64, 64, 64).element(0x0028, 0x1053, "DS", "1E300 ")), "huge.dcm"),
                   "hors des limites (Rescale Slope 1E300, Rescale Intercept 0)");
    // A CD's directory, in a build without the DICOM import (the Windows program): refused by name.
    expect_refused(save(bytes_for(header(64, 64, 64), constant_pixels(64, 64, 64, 5)), "dicomdir"),
                   "ne lit pas les DICOMDIR");
    // And the next good file loads as usual.
    ASSERT_EQ(load(good), 1);
}

TEST_F(RefusalTest, NonDicomAfterDicomKeepsTheFirstVolumeCaptionAndPatientText) {
    const std::string good = study("good.dcm", nm_header(64, 64, 64, "FIRST^ONE"), random_pixels(64, 64, 4));
    ASSERT_EQ(load(good), 1);
    const std::string log_before = log();
    expect_refused(save(std::string(300, 'x'), "plain.dcm"), "n'est pas un fichier dicom valide");
    EXPECT_EQ(log(), log_before + "No Dcm\n\n");
    EXPECT_NE(patient().find("FIRST ONE"), std::string::npos);
}

TEST_F(RefusalTest, TransferSyntaxesOtherThanExplicitLittleEndianAreRefusedByName) {
    const std::string good = study("good.dcm", nm_header(64, 64, 64, "FIRST^ONE"), random_pixels(64, 64, 5));
    ASSERT_EQ(load(good), 1);
    const std::string log_before = log();
    const auto file = [&](DicomWriter w, const char* name) {
        return save(bytes_for(w, constant_pixels(64, 64, 64, 5)), name);
    };
    const std::string hint =
        "\nL'\xE9tude doit \xEAtre export\xE9" "e non compress\xE9" "e, en explicit VR little endian (1.2.840.10008.1.2.1).";
    const struct {
        const char* uid;
        const char* shown;
    } named[] = {
        {"1.2.840.10008.1.2", "1.2.840.10008.1.2 (implicit VR little endian)"},
        {"1.2.840.10008.1.2.2", "1.2.840.10008.1.2.2 (explicit VR big endian)"},
        {"1.2.840.10008.1.2.1.99", "1.2.840.10008.1.2.1.99 (deflated explicit VR little endian)"},
        {"1.2.840.10008.1.2.4.50", "1.2.840.10008.1.2.4.50 (JPEG baseline)"},
        {"1.2.840.10008.1.2.4.70", "1.2.840.10008.1.2.4.70 (JPEG lossless, first-order prediction)"},
        {"1.2.840.10008.1.2.4.80", "1.2.840.10008.1.2.4.80 (JPEG-LS lossless)"},
        {"1.2.840.10008.1.2.4.91", "1.2.840.10008.1.2.4.91 (JPEG 2000)"},
        {"1.2.840.10008.1.2.5", "1.2.840.10008.1.2.5 (RLE lossless)"},
        {"1.2.840.10008.1.2.10", "1.2.840.10008.1.2.10 (inconnue)"},  // begins as the accepted one
        {"1.2.840.10008.1.2.1.0", "1.2.840.10008.1.2.1.0 (inconnue)"},
    };
    for (const auto& c : named)
        expect_refused(file(nm_header(64, 64, 64, "OTHER^ONE").transfer_syntax(c.uid), "ts.dcm"),
                       std::string("Syntaxe de transfert non prise en charge : ") + c.shown + "." + hint);

    // (0002,0001) File Meta Information Version: OB, long form (reserved bytes, 32-bit length).
    const std::string version = tag_bytes(0x0002, 0x0001) + std::string("OB\0\0\x02\0\0\0\0\x01", 10);
    const std::string unnamed =
        "Ce fichier n'indique pas sa syntaxe de transfert (\xE9l\xE9ment 0002,0010 absent des informations de "
        "fichier) : il ne peut pas \xEAtre lu." + hint;
    expect_refused(file(nm_header(64, 64, 64, "OTHER^ONE").transfer_syntax(""), "nometa.dcm"), unnamed);
    expect_refused(file(nm_header(64, 64, 64, "OTHER^ONE").meta(version).transfer_syntax(""), "nots.dcm"), unnamed);
    EXPECT_EQ(log(), log_before);  // refused before the header is read
    EXPECT_NE(patient().find("FIRST ONE"), std::string::npos);

    // Behind a long-form element, and padded with a blank, explicit VR little endian is read as ever.
    ASSERT_EQ(load(file(nm_header(64, 64, 64, "OTHER^ONE").meta(version).transfer_syntax("1.2.840.10008.1.2.1 "),
                        "ok.dcm")),
              1);
    EXPECT_NE(patient().find("OTHER ONE"), std::string::npos);
}

TEST_F(RefusalTest, APathLongerThanThePathBufferIsRefusedNotCut) {
    // Two studies side by side: "ss.dc" is what "ss.dcm" would become cut to 259 bytes.
    const std::string base = dir.str() + "/";
    const std::string sub = base + std::string(259 - base.size() - 6, 'd');
    std::filesystem::create_directory(sub);
    const std::string fits = sub + "/s.dcm", cut = sub + "/ss.dc", too_long = sub + "/ss.dcm";
    ASSERT_EQ(fits.size(), 259u);
    ASSERT_EQ(too_long.size(), 260u);
    write_file(fits, bytes_for(nm_header(64, 64, 64, "FITS"), random_pixels(64, 64, 6)));
    write_file(cut, bytes_for(nm_header(64, 64, 64, "CUT"), random_pixels(64, 64, 7)));
    write_file(too_long, bytes_for(nm_header(64, 64, 64, "LONG"), random_pixels(64, 64, 8)));

    ASSERT_EQ(load(fits), 1);
    EXPECT_EQ(caption(), "  Vesmora    -    [ " + fits + " ]");
    expect_refused(too_long, "Le chemin de ce fichier est trop long (plus de 259 caract\xE8res)");
    EXPECT_NE(patient().find("FITS"), std::string::npos);
}

