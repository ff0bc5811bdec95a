// Literal step-by-step transcriptions of the program's heavy operations, kept
// as the baselines of the benchmarks and as the reference the tests compare
// the fast code with. Each works on the same program-wide state as the real
// operation and must give the same results; none is used by the program.
#ifndef VESMORA_LITERAL_H
#define VESMORA_LITERAL_H

// Declarations are added here, one block per operation, each defined in its
// own file of this folder (literal_<operation>.cpp).

// EVAL_RES (literal_eval_res.cpp): ray table, sector sums, means, scores and
// bull's-eye values over the whole volume, every voxel and every ray point
// computed as the steps say; then res_ok and DISPLAY_RES.
int LITERAL_EVAL_RES();

#endif
