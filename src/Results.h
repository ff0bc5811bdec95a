// Sector evaluation: from the placed model to the ray table, the 17 sector
// percentages and scores and the bull's-eye values.
#ifndef VESMORA_RESULTS_H
#define VESMORA_RESULTS_H

int EVAL_RES();

// Lowest normalised value (percent of the best sector) of each score 0..3; below the
// last, score 4: 70 and above 0, from 50 1, from 30 2, from 10 3, below 10 (an empty
// sector's 0 included) 4.
inline constexpr float SCORE_LOWER_BOUND[4] = {70, 50, 30, 10};

// Score 0..4 of a normalised sector value, by SCORE_LOWER_BOUND.
int SCORE_CLASS(float v);

#endif
