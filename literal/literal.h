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

// literal_display.cpp: the drawing of DISPLAY (ELL_R/G/B, the three views with
// their shadow, lines and model, the three strips) into the six picture
// buffers, without the hand-over. Returns 0.
int LITERAL_DISPLAY_DRAW();

// EVAL_RES (literal_eval_res.cpp): ray table, sector sums, means, scores and
// bull's-eye values over the whole volume, every voxel and every ray point
// computed as the steps say; then res_ok and DISPLAY_RES.
int LITERAL_EVAL_RES();

// --- DISPLAY_RES (literal_display_res.cpp) ------------------------------------------------
// The result picture for RES_DISP drawn pixel by pixel, step by step, grid
// included, then handed to control 46; writes BMPres, bmpres and, for the
// pictures 1 and 12, the label texts, like DISPLAY_RES.
int literal_DISPLAY_RES();

#endif
