// The model-file reader: any bytes are either refused with a reason that names what is
// wrong, or give values within the model's limits that place the model exactly, write
// out and read back unchanged.
#include <cstdint>
#include <cstring>
#include <string>

#include "Model_Place.h"
#include "fuzz_support.h"
#include "main.h"
#include "model_file.h"

namespace {

bool same(const ModelValues& a, const ModelValues& b) {
    for (int n = 0; n < 3; n++)
        if (a.outer_centre[n] != b.outer_centre[n] || a.outer_semi_axes[n] != b.outer_semi_axes[n] ||
            a.inner_centre[n] != b.inner_centre[n] || a.inner_semi_axes[n] != b.inner_semi_axes[n])
            return false;
    return a.base_plane == b.base_plane && a.has_apex == b.has_apex && (!a.has_apex || a.apex == b.apex);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool started = [] {
        fuzz::start();
        load_ok = 1;  // a blank volume: placing needs a study, not its counts
        return true;
    }();
    (void)started;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    ModelValues v;
    std::memset(&v, 0x5A, sizeof v);
    const ModelValues untouched = v;
    std::string error;
    if (!parse_model_text(text, v, error)) {
        if (error.empty()) fuzz::fail("a refusal without a reason", static_cast<long long>(size));
        if (std::memcmp(&v, &untouched, sizeof v) != 0) fuzz::fail("a refused file changed the values", 0);
        return 0;
    }
    char why[200];
    if (!MODEL_CHECK(v, why, sizeof why)) fuzz::fail("a taken file is out of the limits", v.base_plane);
    if (!PLACE_MODEL(v, why, sizeof why)) fuzz::fail("a taken file was not placed", 0);
    // The placement keeps every value as it is (the limits have nothing to bring in).
    ModelValues placed;
    MODEL_CURRENT(placed);
    if (v.has_apex && apex_i != v.apex) fuzz::fail("the apex was not put where the file says", apex_i);
    placed.has_apex = v.has_apex;
    placed.apex = v.apex;
    if (!same(placed, v)) fuzz::fail("the placed model differs from the file", ell_ci);
    ModelValues back;
    if (!parse_model_text(model_json(v).dump(), back, error) || !same(back, v))
        fuzz::fail("the model written out does not read back", 0);
    fuzz::trim_backend();
    return 0;
}
