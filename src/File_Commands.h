// When the file commands of the desktop programs make sense: the front ends enable
// their menu items from these answers and decide nothing themselves.
#ifndef VESMORA_FILE_COMMANDS_H
#define VESMORA_FILE_COMMANDS_H

#include "main.h"

// The PDF report, the PNG pictures: once "Résultats" has run on a loaded study.
inline int REPORT_AVAILABLE() { return load_ok == 1 && res_ok == 1 ? 1 : 0; }
// The DICOM objects copy the analysed file's identification: results, and that file.
inline int DICOM_EXPORT_AVAILABLE() { return REPORT_AVAILABLE() == 1 && DCM_PATH[0] != 0 ? 1 : 0; }
// "Enregistrer le modèle": once a model is placed.
inline int MODEL_SAVE_AVAILABLE() { return load_ok == 1 && ell_ok == 1 ? 1 : 0; }
// "Charger un modèle": a model is placed in a loaded volume.
inline int MODEL_LOAD_AVAILABLE() { return load_ok == 1 ? 1 : 0; }

#endif
