// The order of the corrections and derivations each action calls, read from the
// log: every recomputation of the sector bounds writes its "Secteurs" block, and
// a correction (VERIF_DISP) clamps the model before its block while a derivation
// (EVAL_APEX) moves the apex first, so each order leaves its own blocks.
#include "shell_fixture.h"

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
    command(24);
    // Derived at slice 5 (apex 5 + 60), corrected to 12 with that apex, derived again.
    EXPECT_EQ(since(),
              "Secteurs\n5\n25\n45\n65\n85\n"
              "Secteurs\n12\n29\n47\n65\n92\n"
              "Secteurs\n12\n32\n52\n72\n92\n");

    // "C" over the SA view: corrected first (centre 250 -> 244, apex still 72), then derived.
    Nsa = 250;
    command(44);
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
    // once; "Centrer axes" and "P" recompute nothing.
    Nsa = 200;
    command(39);
    EXPECT_EQ(since(), "Secteurs\n12\n74\n137\n200\n344\n");
    wheel(700, 100, 120);
    EXPECT_EQ(since(), "Secteurs\n12\n74\n137\n200\n344\n");
    command(41);
    command(26);
    EXPECT_EQ(since(), "");
}
