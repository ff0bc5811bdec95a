// The order of the corrections and derivations each action calls, read from the
// log: every recomputation of the sector bounds writes its "Secteurs" block, and
// a correction (VERIF_DISP) clamps the model before its block while a derivation
// (EVAL_APEX) moves the apex first, so each order leaves its own blocks.
#include "shell_fixture.h"

#include <string>
#include <vector>

namespace {

class CallOrder : public Shell {
protected:
    std::size_t mark = 0;

    void SetUp() override {
        Shell::SetUp();
        load_ok = 1;
        RAP = 1;
        ell_ri = 80, ell_rj = 50, ell_rk = 50;
        ill_ri = 30, ill_rj = 20, ill_rk = 20;
    }
    std::string log() const { return read_file(dir.str() + "/log.txt"); }
    // What the log received since the last call.
    std::string since() {
        const std::string all = log();
        const std::string added = all.substr(mark);
        mark = all.size();
        return added;
    }
};

}  // namespace

TEST_F(CallOrder, CentringDerivesCorrectsAndDerivesAgain) {
    Nhla = Nvla = Nsa = 5;
    since();
    command(ID_PLACE_MODEL);
    // Derived at slice 5 (apex 5 + 60), corrected to 12 with that apex, derived again.
    EXPECT_EQ(since(),
              "Secteurs\n5\n25\n45\n65\n85\n"
              "Secteurs\n12\n29\n47\n65\n92\n"
              "Secteurs\n12\n32\n52\n72\n92\n");

    // "C" over the SA view: corrected first (centre 250 -> 244, apex still 72), then derived.
    Nsa = 250;
    command(ID_CENTRE_SA);
    EXPECT_EQ(since(),
              "Secteurs\n12\n32\n52\n72\n324\n"
              "Secteurs\n12\n90\n168\n246\n324\n");

    // A semi-axis drag: corrected, then derived.
    press(60, 100);
    EXPECT_EQ(since(), "");
    move(60, 60);  // 40 up: ell_ri 80 -> 100
    EXPECT_EQ(since(),
              "Secteurs\n12\n90\n168\n246\n344\n"
              "Secteurs\n12\n95\n178\n261\n344\n");
    release(60, 60);

    // "A" recomputes the bounds once from the apex put by hand; the wheel corrects
    // once; "Centrer axes" recomputes nothing; "P" the bounds once, from that apex.
    Nsa = 200;
    command(ID_APEX);
    EXPECT_EQ(since(), "Secteurs\n12\n74\n137\n200\n344\n");
    wheel(700, 100, 120);
    EXPECT_EQ(since(), "Secteurs\n12\n74\n137\n200\n344\n");
    command(ID_CENTRE_AXES);
    EXPECT_EQ(since(), "");
    command(ID_BASE_PLANE);  // the plane at Nsa = ell_ci = 244
    EXPECT_EQ(since(), "Secteurs\n244\n229\n214\n200\n344\n");
}

namespace {

// Widths and heights of the bitmaps handed over since the first `from`, in order of making.
std::vector<std::string> made_since(std::size_t from) {
    std::vector<std::string> sizes;
    const auto& all = headless::state().bitmaps;
    for (std::size_t n = from; n < all.size(); n++)
        sizes.push_back(std::to_string(all[n]->width) + "x" + std::to_string(all[n]->height));
    return sizes;
}

// The six pictures of DISPLAY: three views, three strips (their order inside is the drawing's own).
bool six_slice_pictures(const std::vector<std::string>& s, std::size_t at) {
    if (s.size() < at + 6) return false;
    int views = 0, strips = 0;
    for (std::size_t n = at; n < at + 6; n++) {
        views += s[n] == "256x256";
        strips += s[n] == "256x16";
    }
    return views == 3 && strips == 3;
}

}  // namespace

TEST_F(Shell, StartUpDrawsTheSlicesThenTheResultsThenThePaletteBar) {
    const std::vector<std::string> s = made_since(0);
    ASSERT_EQ(s.size(), 8u);
    EXPECT_TRUE(six_slice_pictures(s, 0));
    EXPECT_EQ(s[6], "400x400");
    EXPECT_EQ(s[7], "220x56");
}

TEST_F(Shell, PaletteAndColourStepsRedrawTheBarThenTheSlicesThenTheResults) {
    for (int id : {ID_PALETTE_PREV, ID_PALETTE_NEXT, ID_COLOUR_PREV, ID_COLOUR_NEXT}) {
        const std::size_t from = headless::state().bitmaps.size();
        command(id);
        const std::vector<std::string> s = made_since(from);
        ASSERT_EQ(s.size(), 8u) << id;
        EXPECT_EQ(s[0], "220x56") << id;
        EXPECT_TRUE(six_slice_pictures(s, 1)) << id;
        EXPECT_EQ(s[7], "400x400") << id;
    }
}
