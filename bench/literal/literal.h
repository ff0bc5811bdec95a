// Literal step-by-step transcriptions of the program's heavy operations, kept
// as the baselines of the benchmarks and as the reference the tests compare
// the fast code with. Each works on the same program-wide state as the real
// operation and must give the same results; none is used by the program.
#ifndef VESMORA_LITERAL_H
#define VESMORA_LITERAL_H

// Declarations are added here, one block per operation, each defined in its
// own file of this folder (literal_<operation>.cpp).

// READ_DATA, step by step: block from the tail of fich into a buffer, data set to
// 0, every element resampled on its own, extremes, log, scaling, the two mirrors
// through SWITCH_SLICES, then the reset of the interaction state. Expects ech,
// NCZ and fich as the header reader and the loader leave them for a good file.
int LITERAL_READ_DATA();

// EVAL_RES (literal_eval_res.cpp): ray table, sector sums, means, scores and
// bull's-eye values over the whole volume, every voxel and every ray point
// computed as the steps say; then res_ok and DISPLAY_RES.
int LITERAL_EVAL_RES();

#endif
