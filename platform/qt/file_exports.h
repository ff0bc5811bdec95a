// The file commands of the desktop program's "Fichier" menu: the PDF report, the PNG
// pictures, the DICOM objects and the model files. Each asks for its path, calls the
// program's libraries and shows a French box when it fails; a file is written beside
// its target and renamed over it, so a failure leaves what was there.
#ifndef VESMORA_QT_FILE_EXPORTS_H
#define VESMORA_QT_FILE_EXPORTS_H

#include <QString>

class QWidget;

namespace vesmora_qt {

bool export_report_pdf(QWidget* parent);
bool save_pictures_png(QWidget* parent);
bool export_dicom(QWidget* parent);
bool save_model(QWidget* parent);
bool load_model(QWidget* parent);

}  // namespace vesmora_qt

#endif
