// Model files and the placement they drive: what is written reads back and places the
// model as "Centrer volume" and the "A" button would; every malformed or out-of-range
// file is refused with the field named and nothing changed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "../shell/shell_fixture.h"
#include "Model_Place.h"
#include "model_file.h"
#include "text.h"

namespace {

struct Model {
    int v[12];
    int plan, apex, sect[5], slices[3];
};

Model state_now() {
    return {{ell_ci, ell_cj, ell_ck, ell_ri, ell_rj, ell_rk, ill_ci, ill_cj, ill_ck, ill_ri, ill_rj, ill_rk},
            plan_i, apex_i, {sect_i[0], sect_i[1], sect_i[2], sect_i[3], sect_i[4]}, {Nsa, Nvla, Nhla}};
}
bool operator==(const Model& a, const Model& b) { return std::memcmp(&a, &b, sizeof a) == 0; }
// The apex counts only where it is given.
bool operator==(const ModelValues& a, const ModelValues& b) {
    ModelValues x = a, y = b;
    if (!x.has_apex) x.apex = 0;
    if (!y.has_apex) y.apex = 0;
    return std::memcmp(&x, &y, sizeof x) == 0;
}

class ModelFiles : public Shell {};

std::string log_path_for_tests() { return std::string(LOG_FOLDER[0] != 0 ? LOG_FOLDER : APP_FOLDER) + "log.txt"; }

TEST_F(ModelFiles, WrittenModelReadsBackAndPlacesAsCentringAndTheApexButtonDo) {
    as_if_loaded();
    Nsa = 120, Nvla = 130, Nhla = 125;
    command(ID_PLACE_MODEL);
    const Model centred = state_now();
    ModelValues v;
    MODEL_CURRENT(v);
    EXPECT_EQ(v.has_apex, 0) << "the apex the model derives is not written";

    const std::string path = dir.str() + "/model.json";
    std::string error;
    ASSERT_TRUE(write_model_file(path, v, error)) << error;
    ModelValues back{};
    ASSERT_TRUE(read_model_file(path, back, error)) << error;
    EXPECT_TRUE(back == v);

    // Elsewhere first, then the file: the same model, levels and slices as the centring left.
    Nsa = Nvla = Nhla = 60;
    command(ID_PLACE_MODEL);
    char why[200] = "";
    ASSERT_EQ(PLACE_MODEL(back, why, sizeof why), 1) << why;
    EXPECT_TRUE(state_now() == centred);

    // With an apex: as the "A" button at that slice, and it is written since no model derives it.
    Nsa = 150;
    command(ID_APEX);
    const Model with_apex = state_now();
    MODEL_CURRENT(v);
    ASSERT_EQ(v.has_apex, 1);
    EXPECT_EQ(v.apex, 150);
    ASSERT_TRUE(write_model_file(path, v, error)) << error;
    EXPECT_NE(read_file(path).find("\"apex\": 150"), std::string::npos) << read_file(path);
    command(ID_PLACE_MODEL);  // derives the apex again
    ASSERT_NE(apex_i, 150);
    ASSERT_TRUE(read_model_file(path, back, error)) << error;
    ASSERT_EQ(PLACE_MODEL(back, why, sizeof why), 1) << why;
    EXPECT_TRUE(state_now() == with_apex);
}

TEST_F(ModelFiles, EveryFaultIsRefusedNamingItsFieldAndNothingChanges) {
    const std::string good_inner = R"("inner": {"centre": [128, 128, 128], "semi_axes": [30, 20, 20]})";
    auto file = [&](const std::string& outer, const std::string& rest) {
        return "{\"outer\": {" + outer + "}, " + good_inner + ", " + rest + "}";
    };
    const std::string outer = R"("centre": [128, 128, 128], "semi_axes": [80, 50, 50])";
    struct Case {
        std::string text, field;  // field: "" for a file that must be taken
    };
    const Case cases[] = {
        {file(outer, R"("base_plane": 12, "apex": 0)"), ""},
        // The bounds are taken, with an inner ellipsoid that fits inside the outer one.
        {R"({"outer": {"centre": [12, 128, 128], "semi_axes": [120, 12, 120]},
            "inner": {"centre": [12, 128, 128], "semi_axes": [4, 4, 4]}, "base_plane": 244, "apex": 255})", ""},
        {R"({"outer": {"centre": [244, 128, 128], "semi_axes": [12, 120, 12]},
            "inner": {"centre": [244, 128, 128], "semi_axes": [12, 12, 12]}, "base_plane": 128})", ""},
        // An inner ellipsoid not inside the outer one leaves no wall to score: refused by its fields,
        // whether it reaches out along the long axis or across it (the surfaces may touch).
        {file(R"("centre": [128, 128, 128], "semi_axes": [70, 25, 25])", R"("base_plane": 128)"), ""},
        {file(R"("centre": [128, 128, 128], "semi_axes": [30, 20, 20])", R"("base_plane": 128)"), ""},
        {file(R"("centre": [12, 128, 128], "semi_axes": [120, 12, 120])", R"("base_plane": 244)"),
         "inner.semi_axes, inner.centre[0] : l'ellipso\xEF" "de interne (demi-axes 30, 20, 20, centre 128) doit \xEAtre "
         "\xE0 l'int\xE9rieur de l'externe (demi-axes 120, 12, 120, centre 12)."},
        {file(R"("centre": [150, 128, 128], "semi_axes": [40, 50, 50])", R"("base_plane": 128)"), "inner.semi_axes, inner.centre[0] : "},
        {file(R"("centre": [128, 128, 128], "semi_axes": [29, 50, 50])", R"("base_plane": 128)"), "inner.semi_axes, inner.centre[0] : "},
        {file(R"("centre": [128, 128, 128], "semi_axes": [80, 50, 19])", R"("base_plane": 128)"), "inner.semi_axes, inner.centre[0] : "},
        {file(outer, R"("base_plane": 128, "apex": null, "levels": [1, 2, 3, 4, 5])"), ""},
        {"{\"outer\": ", "JSON mal form\xE9 (octet"},
        {"[1, 2]", "un objet JSON est attendu"},
        {"{" + good_inner + ", \"base_plane\": 128}", "champ manquant : outer"},
        {R"({"outer": [], "inner": {}, "base_plane": 1})", "outer : un objet est attendu"},
        {file(R"("centre": [128, 128, 128])", R"("base_plane": 128)"), "champ manquant : outer.semi_axes"},
        {file(R"("centre": [128, 128], "semi_axes": [80, 50, 50])", R"("base_plane": 128)"), "outer.centre : un tableau de 3"},
        {file(R"("centre": "128", "semi_axes": [80, 50, 50])", R"("base_plane": 128)"), "outer.centre : un tableau de 3"},
        {file(R"("centre": [128, 12.5, 128], "semi_axes": [80, 50, 50])", R"("base_plane": 128)"), "outer.centre[1] : un nombre entier"},
        {file(R"("centre": [128, 128, true], "semi_axes": [80, 50, 50])", R"("base_plane": 128)"), "outer.centre[2] : un nombre entier"},
        {file(outer, R"("base_plane": 9999999999)"), "base_plane : 9999999999 est hors des limites"},
        {file(outer, R"("base_plane": -2147483649)"), "base_plane : -2147483649 est hors des limites"},
        {file(outer, R"("base_plane": 1e2453)"), "un nombre d\xE9passe les limites"},
        {file(outer, "\"apex\": 128"), "champ manquant : base_plane"},
        {file(outer, R"("base_plane": 11)"), "base_plane : 11 est hors des limites (12 \xE0 244)"},
        {file(outer, R"("base_plane": 245)"), "base_plane : 245 est hors des limites (12 \xE0 244)"},
        {file(R"("centre": [128, 128, 128], "semi_axes": [80, 121, 50])", R"("base_plane": 128)"), "outer.semi_axes[1] : 121"},
        {file(R"("centre": [128, 128, 128], "semi_axes": [11, 50, 50])", R"("base_plane": 128)"), "outer.semi_axes[0] : 11"},
        {file(R"("centre": [128, 128, 245], "semi_axes": [80, 50, 50])", R"("base_plane": 128)"), "outer.centre[2] : 245"},
        {file(R"("centre": [128, 130, 128], "semi_axes": [80, 50, 50])", R"("base_plane": 128)"),
         "inner.centre[1] : 128 doit \xEAtre \xE9gal \xE0 outer.centre[1] (130)"},
        {file(outer, R"("base_plane": 128, "apex": 256)"), "apex : 256 est hors des limites (0 \xE0 255)"},
        {file(outer, R"("base_plane": 128, "apex": -1)"), "apex : -1"},
        {file(outer, R"("base_plane": 128, "apex": "150")"), "apex : un nombre entier"},
    };
    as_if_loaded();
    command(ID_PLACE_MODEL);
    const Model placed = state_now();
    for (const Case& c : cases) {
        ModelValues v;
        std::memset(&v, 0x5A, sizeof v);
        const ModelValues before = v;
        std::string error;
        const bool taken = parse_model_text(c.text, v, error);
        if (c.field.empty()) {
            EXPECT_TRUE(taken) << c.text << "\n" << error;
            continue;
        }
        EXPECT_FALSE(taken) << c.text;
        EXPECT_NE(error.find(c.field), std::string::npos) << c.text << "\n got: " << error;
        EXPECT_TRUE(v == before) << c.text;
    }
    // The inner semi-axis floor is 4, not the outer 12; the placement itself refuses the same way.
    ModelValues v;
    MODEL_CURRENT(v);
    v.inner_semi_axes[2] = 3;
    const std::size_t log_before = read_file(log_path_for_tests()).size();
    char why[200] = "";
    EXPECT_EQ(PLACE_MODEL(v, why, sizeof why), 0);
    EXPECT_STREQ(why, "inner.semi_axes[2] : 3 est hors des limites (4 \xE0 120).");
    EXPECT_TRUE(state_now() == placed);
    EXPECT_EQ(read_file(log_path_for_tests()).size(), log_before) << "no level was logged";
    std::string error;
    EXPECT_FALSE(write_model_file(dir.str() + "/bad.json", v, error));
    EXPECT_NE(error.find("inner.semi_axes[2]"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.str() + "/bad.json"));
    EXPECT_FALSE(read_model_file(dir.str() + "/none.json", v, error));
    EXPECT_NE(error.find("Impossible de lire le fichier mod\xE8le " + dir.str() + "/none.json"), std::string::npos);

    load_ok = 0;  // before any study: refused, though every value is fine
    v.inner_semi_axes[2] = 20;
    EXPECT_EQ(PLACE_MODEL(v, why, sizeof why), 0);
    EXPECT_NE(std::strstr(why, "Aucune \xE9tude"), nullptr) << why;
}

// Any finite single-precision value goes out as the shortest text that reads back to it.
// A model file records the study it was made on; placing it on another patient's study is
// a mismatch the caller must confirm, and a file that records nothing is accepted as before.
TEST_F(ModelFiles, TheStudyAModelWasMadeOnIsWrittenReadAndCompared) {
    as_if_loaded();
    command(ID_PLACE_MODEL);
    std::strcpy(PAT_ID, "P-\xC9LODIE ");  // a DICOM value's trailing blank, an accented letter
    std::strcpy(STUDY_UID, "1.2.3");
    ModelValues v;
    MODEL_CURRENT(v);
    const std::string path = dir.str() + "/model.json";
    std::string error;
    ASSERT_TRUE(write_model_file(path, v, error)) << error;
    EXPECT_NE(read_file(path).find("\"patient_id\": \"P-\xC3\x89LODIE\""), std::string::npos) << read_file(path);
    ModelIdentity made_on;
    ModelValues back{};
    ASSERT_TRUE(read_model_file(path, back, made_on, error)) << error;
    EXPECT_EQ(made_on.patient_id, "P-\xC9LODIE");
    EXPECT_EQ(made_on.study_uid, "1.2.3");
    EXPECT_EQ(model_identity_mismatch(made_on, current_model_identity()), "");
    PAT_ID[0] = STUDY_UID[0] = '\0';

    using Id = ModelIdentity;
    EXPECT_EQ(model_identity_mismatch({"A", "1.2"}, {"A", "1.3"}), "") << "the same patient, another study";
    EXPECT_EQ(model_identity_mismatch({"", ""}, {"B", "1.3"}), "") << "a file from before";
    EXPECT_EQ(model_identity_mismatch({"A", "1.2"}, {"", ""}), "") << "nothing to compare with";
    const std::string other = model_identity_mismatch(Id{"A", "1.2"}, Id{"B", "1.3"});
    EXPECT_NE(other.find("patient ID A"), std::string::npos) << other;
    EXPECT_NE(other.find("patient ID B"), std::string::npos) << other;
    EXPECT_NE(model_identity_mismatch({"", "1.2"}, {"B", "1.3"}), "") << "no patient to compare: another study";
    std::string text = read_file(path);
    text.replace(text.find("\"P-"), std::strlen("\"P-\xC3\x89LODIE\""), "7");
    EXPECT_FALSE(parse_model_text(text, back, made_on, error));
    EXPECT_NE(error.find("patient_id"), std::string::npos) << error;
}

TEST(StudyRecordNumbers, PercentReadsBackToTheSameFloat) {
    EXPECT_EQ(nlohmann::json(float_for_json(57.6f)).dump(), "57.6");
    EXPECT_EQ(nlohmann::json(float_for_json(99.999f)).dump(), "99.999");
    std::mt19937 rng(11);
    for (int n = 0; n < 200000; n++) {
        float f;
        const std::uint32_t bits = n < 100000 ? rng() : 0x42C80000u - static_cast<std::uint32_t>(n);  // near 100
        std::memcpy(&f, &bits, sizeof f);
        if (!std::isfinite(f)) continue;
        const std::string text = nlohmann::json(float_for_json(f)).dump();
        const float back = static_cast<float>(nlohmann::json::parse(text).get<double>());
        ASSERT_EQ(std::memcmp(&back, &f, sizeof f), 0) << text;
    }
}

}  // namespace
