// What the program keeps between runs, through the back end's settings store
// (plat_load_setting / plat_save_setting): the palette and the overlay colour, the main
// window's place, and the last folder of "Ouvrir" and of each export. With nothing kept the
// program starts exactly as without a store.
#ifndef VESMORA_REMEMBERED_H
#define VESMORA_REMEMBERED_H

#include <string>

inline constexpr const char* KEY_PALETTE = "palette";
inline constexpr const char* KEY_COLOUR = "couleur";
inline constexpr const char* KEY_WINDOW_X = "fenetre_x";
inline constexpr const char* KEY_WINDOW_Y = "fenetre_y";
inline constexpr const char* KEY_OPEN_FOLDER = "dossier_ouvrir";
inline constexpr const char* KEY_PDF_FOLDER = "dossier_pdf";
inline constexpr const char* KEY_PNG_FOLDER = "dossier_png";
inline constexpr const char* KEY_DICOM_FOLDER = "dossier_dicom";
inline constexpr const char* KEY_MODEL_FOLDER = "dossier_modele";

// At start-up, before the first drawing: a kept palette (0..15), colour (0..5) and window place
// replace the start values; anything else kept is ignored.
void RESTORE_SETTINGS();
// At the close request, while the window is still there: the palette, the colour, the place.
void SAVE_SETTINGS();
// The folder of a path just used (a file's folder, or the folder itself).
void REMEMBER_FOLDER(const char* key, const std::string& path, bool is_folder);
// The folder kept under key, "" when none is kept or it is no longer a folder.
std::string REMEMBERED_FOLDER(const char* key);

#endif
