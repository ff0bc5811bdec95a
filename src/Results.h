// Sector evaluation: from the placed model to the ray table, the 17 sector
// percentages and scores and the bull's-eye values.
#ifndef VESMORA_RESULTS_H
#define VESMORA_RESULTS_H

int EVAL_RES();

#endif
