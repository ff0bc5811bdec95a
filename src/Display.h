// Drawing: the palette bar, the slice views with their strips and the model
// drawn over them, the limits of the model, the polar sector map, the apex and
// ring levels, and the result pictures.
#ifndef VESMORA_DISPLAY_H
#define VESMORA_DISPLAY_H

// Palette bar
int CREATE_PALBMP();

// Slice views, strips, overlays and the limits of the model
int DISPLAY();
int VERIF_DISP();
float EVAL_DIST(int i, int j, int k);
// The drawing of DISPLAY into the six picture buffers, without the hand-over.
int DRAW_DISPLAY();

// Polar sector map
int INIT_SECT();

// Apex and ring levels
int EVAL_APEX();
int EVAL_SECT();

// Result pictures
int DISPLAY_RES();
// The drawing of DISPLAY_RES into BMPres, without the label texts and the hand-over.
int DRAW_RES();

#endif
