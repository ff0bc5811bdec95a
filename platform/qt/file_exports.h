// The file commands of the desktop program's "Fichier" menu: the PDF report, the PNG
// pictures, the DICOM objects (to a folder or to the archive) and the model files. Each asks for its path, calls the
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
// The report's Secondary Capture and the SR stored in the archive of the saved settings.
bool send_results_to_pacs(QWidget* parent);
bool save_model(QWidget* parent);
bool load_model(QWidget* parent);

}  // namespace vesmora_qt

#endif
