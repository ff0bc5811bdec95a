// The two DICOM objects of a study's results, written with DCMTK.
//
//   read_source      the analysed file: its "DICM" mark, then DCMTK's reading of it
//   identification   the patient and study elements copied into every object we write
//   finish_file      temporary file beside the target, then rename
//   write_secondary_capture, write_structured_report
//
// Identifiers: new series and instance UIDs come from dcmGenerateUniqueIdentifier under
// DCMTK's own site roots (SITE_SERIES_UID_ROOT, SITE_INSTANCE_UID_ROOT): the program has
// no root of its own, and these are the ones DCMTK hands to the programs built on it.
#include "dicom_export.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcdeftag.h>
#include <dcmtk/dcmdata/dcfilefo.h>
#include <dcmtk/dcmdata/dcuid.h>
#include <dcmtk/dcmdata/dcvrda.h>
#include <dcmtk/dcmdata/dcvrtm.h>
#include <dcmtk/dcmsr/dsrdoc.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "Clinical_Summary.h"
#include "latin1.h"
#include "main.h"
#include "sectors.h"
#include "version.h"
#include "write_whole.h"

namespace {

// ---- texts ------------------------------------------------------------------------------------------

std::string trimmed(const OFString& s) {
    std::string t(s.c_str());
    while (!t.empty() && (t.back() == ' ' || t.back() == '\0')) t.pop_back();
    while (!t.empty() && t.front() == ' ') t.erase(0, 1);
    return t;
}

// "%.9g": the single-precision value reads back to the same float; 16 characters at most (DS).
std::string number_text(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

// ---- the analysed file ------------------------------------------------------------------------------

// The analysed file as DCMTK reads it; large values (the pixels) stay on disk until asked for.
bool read_source(const std::string& path, DcmFileFormat& file, std::string& error) {
    const std::string head = "Impossible de lire le fichier analys\xE9 " + path;
    // The program accepts only files with the mark at byte 128; so do its exports, and a
    // text file is not taken by DCMTK's lenient reader for a dataset without a header.
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = with_detail(head, std::strerror(errno));
        return false;
    }
    char mark[132] = {};
    in.read(mark, sizeof mark);
    if (in.gcount() < 132 || std::memcmp(mark + 128, "DICM", 4) != 0) {
        error = head + " : ce n'est pas un fichier DICOM (pas de marque DICM \xE0 l'octet 128)";
        return false;
    }
    const OFCondition st = file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096);
    if (st.bad()) {
        error = with_detail(head, st.text());
        return false;
    }
    OFString study;
    if (file.getDataset()->findAndGetOFString(DCM_StudyInstanceUID, study).bad() || trimmed(study).empty()) {
        error = "Le fichier analys\xE9 " + path +
                " n'a pas d'identifiant d'\xE9tude (Study Instance UID) : les objets DICOM ne sauraient "
                "pas \xE0 quelle \xE9tude se joindre";
        return false;
    }
    return true;
}

// Patient (name, ID, issuer, birth date, sex), Patient Study (age) and General Study elements:
// the type 2 ones are written empty when the source lacks them, the others only when present.
struct CopiedTag {
    DcmTagKey key;
    bool type2;
};
const CopiedTag COPIED[] = {
    {DCM_PatientName, true},       {DCM_PatientID, true},          {DCM_IssuerOfPatientID, false},
    {DCM_PatientBirthDate, true},  {DCM_PatientSex, true},         {DCM_PatientAge, false},
    {DCM_StudyInstanceUID, true},  {DCM_StudyDate, true},          {DCM_StudyTime, true},
    {DCM_AccessionNumber, true},   {DCM_ReferringPhysicianName, true}, {DCM_StudyID, true},
    {DCM_StudyDescription, false},
};

// The source's Specific Character Set, all its values; "" when it has none.
std::string source_charset(DcmDataset& src) {
    OFString cs;
    src.findAndGetOFStringArray(DCM_SpecificCharacterSet, cs);
    return trimmed(cs);
}

// The copied elements into dst, with the character set they are in: the source's as it
// is, or ISO_IR 100 when it names none (the program reads such values as Latin-1).
// to_utf8: the values are converted to UTF-8 first (ISO_IR 192), unless they are Latin-1.
bool identification(DcmDataset& src, DcmItem& dst, bool to_utf8, bool& utf8, std::string& why) {
    const std::string cs = source_charset(src);
    DcmDataset ident;
    if (!cs.empty()) ident.putAndInsertOFStringArray(DCM_SpecificCharacterSet, cs.c_str());
    for (const CopiedTag& t : COPIED) {
        DcmElement* e = nullptr;
        if (src.findAndGetElement(t.key, e).good() && e) {
            ident.insert(static_cast<DcmElement*>(e->clone()), true);
        } else if (t.type2) {
            ident.insertEmptyElement(t.key);
        }
    }
    utf8 = false;
    std::string out_cs = cs.empty() ? "ISO_IR 100" : cs;
    if (to_utf8 && !cs.empty() && cs != "ISO_IR 100") {
        const OFCondition st = ident.convertToUTF8();
        if (st.bad()) {
            why = with_detail("conversion en UTF-8 depuis le jeu de caract\xE8res \"" + cs + "\" impossible", st.text());
            return false;
        }
        out_cs = "ISO_IR 192";
        utf8 = true;
    }
    ident.putAndInsertOFStringArray(DCM_SpecificCharacterSet, out_cs.c_str());
    for (unsigned long n = 0; n < ident.card(); n++) {
        DcmElement* e = ident.getElement(n);
        dst.insert(static_cast<DcmElement*>(e->clone()), true);
    }
    return true;
}

std::string new_uid(const char* root) {
    char buf[100];
    dcmGenerateUniqueIdentifier(buf, root);
    return buf;
}

// ---- writing ---------------------------------------------------------------------------------------

std::string write_failed(const std::string& out_path, const std::string& why) {
    return "Impossible d'\xE9" "crire le fichier DICOM " + out_path + " : " + why;
}

// Saves file (explicit VR little endian, meta header made) whole at out_path.
bool finish_file(DcmFileFormat& file, const std::string& out_path, std::string& error) {
    return write_whole(
        out_path,
        [&file](const std::string& temporary, std::string& why) {
            const OFCondition st = file.saveFile(temporary.c_str(), EXS_LittleEndianExplicit);
            if (st.bad()) why = st.text();
            return st.good();
        },
        error, "le fichier DICOM");
}

// Date and time of this run as DICOM DA and TM values.
void now(std::string& date, std::string& time) {
    OFString d, t;
    DcmDate::getCurrentDate(d);
    DcmTime::getCurrentTime(t, OFTrue /*seconds*/, OFFalse /*fraction*/);
    date = d.c_str();
    time = t.c_str();
}

}  // namespace

// ---- Secondary Capture ----------------------------------------------------------------------------

// Single-frame Secondary Capture Image Storage: a report page is one picture, and every
// viewer and archive takes this class. Modality OT, Conversion Type WSD (workstation).
bool write_secondary_capture(const std::string& source_dcm, const unsigned char* rgb, int width, int height,
                             const std::string& out_path, std::string& error) {
    if (!rgb || width <= 0 || height <= 0 || width > 65535 || height > 65535) {
        error = write_failed(out_path, "image vide ou de taille " + std::to_string(width) + " x " +
                                           std::to_string(height) + " hors limites");
        return false;
    }
    DcmFileFormat source;
    if (!read_source(source_dcm, source, error)) return false;

    DcmFileFormat file;
    DcmDataset* ds = file.getDataset();
    bool utf8 = false;
    std::string why;
    if (!identification(*source.getDataset(), *ds, false, utf8, why)) {
        error = write_failed(out_path, why);
        return false;
    }
    std::string date, time;
    now(date, time);
    const std::string instance = new_uid(SITE_INSTANCE_UID_ROOT);

    // SOP Common
    ds->putAndInsertString(DCM_SOPClassUID, UID_SecondaryCaptureImageStorage);
    ds->putAndInsertString(DCM_SOPInstanceUID, instance.c_str());
    ds->putAndInsertString(DCM_InstanceCreationDate, date.c_str());
    ds->putAndInsertString(DCM_InstanceCreationTime, time.c_str());
    // General Series
    ds->putAndInsertString(DCM_Modality, "OT");
    ds->putAndInsertString(DCM_SeriesInstanceUID, new_uid(SITE_SERIES_UID_ROOT).c_str());
    ds->putAndInsertString(DCM_SeriesNumber, "901");
    ds->putAndInsertString(DCM_SeriesDate, date.c_str());
    ds->putAndInsertString(DCM_SeriesTime, time.c_str());
    ds->putAndInsertString(DCM_SeriesDescription, "Vesmora - rapport");
    // General Equipment and SC Equipment
    ds->putAndInsertString(DCM_Manufacturer, "Vesmora");
    ds->putAndInsertString(DCM_ConversionType, "WSD");
    ds->putAndInsertString(DCM_SecondaryCaptureDeviceManufacturer, "Vesmora");
    ds->putAndInsertString(DCM_SecondaryCaptureDeviceSoftwareVersions, VESMORA_VERSION);
    // General Image and SC Image
    ds->putAndInsertString(DCM_InstanceNumber, "1");
    ds->insertEmptyElement(DCM_PatientOrientation);
    ds->putAndInsertString(DCM_ContentDate, date.c_str());
    ds->putAndInsertString(DCM_ContentTime, time.c_str());
    ds->putAndInsertString(DCM_ImageType, "DERIVED\\SECONDARY");
    ds->putAndInsertString(DCM_BurnedInAnnotation, "YES");  // the page shows the patient's name
    ds->putAndInsertString(DCM_DateOfSecondaryCapture, date.c_str());
    ds->putAndInsertString(DCM_TimeOfSecondaryCapture, time.c_str());
    // The analysed image, when it names itself.
    OFString src_class, src_instance;
    if (source.getDataset()->findAndGetOFString(DCM_SOPClassUID, src_class).good() && !src_class.empty() &&
        source.getDataset()->findAndGetOFString(DCM_SOPInstanceUID, src_instance).good() && !src_instance.empty()) {
        DcmItem* item = nullptr;
        if (ds->findOrCreateSequenceItem(DCM_SourceImageSequence, item, 0).good() && item) {
            item->putAndInsertOFStringArray(DCM_ReferencedSOPClassUID, src_class);
            item->putAndInsertOFStringArray(DCM_ReferencedSOPInstanceUID, src_instance);
        }
    }
    // Image Pixel: 8-bit RGB, colour-by-pixel.
    ds->putAndInsertUint16(DCM_SamplesPerPixel, 3);
    ds->putAndInsertString(DCM_PhotometricInterpretation, "RGB");
    ds->putAndInsertUint16(DCM_PlanarConfiguration, 0);
    ds->putAndInsertUint16(DCM_Rows, static_cast<Uint16>(height));
    ds->putAndInsertUint16(DCM_Columns, static_cast<Uint16>(width));
    ds->putAndInsertUint16(DCM_BitsAllocated, 8);
    ds->putAndInsertUint16(DCM_BitsStored, 8);
    ds->putAndInsertUint16(DCM_HighBit, 7);
    ds->putAndInsertUint16(DCM_PixelRepresentation, 0);
    const unsigned long bytes = 3ul * static_cast<unsigned long>(width) * static_cast<unsigned long>(height);
    const OFCondition st = ds->putAndInsertUint8Array(DCM_PixelData, rgb, bytes);
    if (st.bad()) {
        error = with_detail("Impossible d'\xE9" "crire le fichier DICOM " + out_path, st.text());
        return false;
    }
    return finish_file(file, out_path, error);
}

// ---- Comprehensive SR ------------------------------------------------------------------------------

namespace {

// Concepts of the report. The title is DICOM's own; the segments, scores and territories
// have no code in the coding schemes DCMTK carries, so they take the local scheme
// "99VESMORA" (a designator beginning with 99 is private by rule), declared in the
// Coding Scheme Identification Sequence. Code meanings are in French, as the program speaks.
const char* const LOCAL = "99VESMORA";

class ReportTree {
public:
    ReportTree(DSRDocumentTree& tree, bool utf8) : tree_(tree), utf8_(utf8) {}
    bool ok() const { return ok_; }
    std::string text(const char* latin1) const { return utf8_ ? latin1_to_utf8(latin1) : latin1; }
    DSRCodedEntryValue local(const std::string& code, const char* meaning) const {
        return DSRCodedEntryValue(code.c_str(), LOCAL, text(meaning).c_str());
    }

    // A container under the current item; the cursor stays in it until close().
    void open(const DSRCodedEntryValue& name) { add(DSRTypes::VT_Container, name); }
    void close() { tree_.goUp(); }
    void add_text(const DSRCodedEntryValue& name, const char* latin1) {
        if (add(DSRTypes::VT_Text, name)) check(tree_.getCurrentContentItem().setStringValue(text(latin1).c_str()));
        tree_.goUp();
    }
    void add_num(const DSRCodedEntryValue& name, const std::string& value, const DSRCodedEntryValue& unit) {
        if (add(DSRTypes::VT_Num, name))
            check(tree_.getCurrentContentItem().setNumericValue(DSRNumericMeasurementValue(value.c_str(), unit)));
        tree_.goUp();
    }

private:
    bool add(DSRTypes::E_ValueType type, const DSRCodedEntryValue& name) {
        if (tree_.addContentItem(DSRTypes::RT_contains, type, DSRTypes::AM_belowCurrent) == 0) {
            ok_ = false;
            return false;
        }
        check(tree_.getCurrentContentItem().setConceptName(name));
        return true;
    }
    void check(const OFCondition& st) { ok_ = ok_ && st.good(); }

    DSRDocumentTree& tree_;
    bool utf8_;
    bool ok_ = true;
};

// A Comprehensive SR of source_dcm's patient and study, in a new series: identification copied
// (converted to UTF-8 when the source is in another character set than Latin-1), the source
// volume as evidence. False with `error` when it cannot be made.
bool begin_report(const std::string& source_dcm, const std::string& out_path, const char* series_desc_latin1,
                  const char* series_number, DSRDocument& doc, bool& utf8, std::string& error) {
    DcmFileFormat source;
    if (!read_source(source_dcm, source, error)) return false;

    // Patient and study first, through a dataset of the copied elements: the report's own
    // French texts need a character set that holds them, so a source in anything other
    // than Latin-1 has its values converted to UTF-8.
    DcmDataset ident;
    utf8 = false;
    std::string why;
    if (!identification(*source.getDataset(), ident, true, utf8, why)) {
        error = write_failed(out_path, why);
        return false;
    }
    OFCondition st = doc.readStudyData(ident);
    if (st.good()) {
        doc.createNewSeries();  // new series and instance UIDs within the copied study
        st = doc.setSpecificCharacterSet(utf8 ? "ISO_IR 192" : "ISO_IR 100");
    }
    if (st.bad()) {
        error = write_failed(out_path, with_detail("identification du patient et de l'\xE9tude", st.text()));
        return false;
    }
    doc.setSeriesDescription(utf8 ? latin1_to_utf8(series_desc_latin1).c_str() : series_desc_latin1);
    doc.setSeriesNumber(series_number);
    doc.setInstanceNumber("1");
    doc.setManufacturer("Vesmora");
    doc.setManufacturerModelName("Vesmora");
    doc.setSoftwareVersions(VESMORA_VERSION);
    doc.getCodingSchemeIdentification().addItem(LOCAL, "", "Vesmora local codes", "Vesmora");
    OFString src_class, src_series, src_instance, study;
    DcmDataset* sds = source.getDataset();
    sds->findAndGetOFString(DCM_StudyInstanceUID, study);
    if (sds->findAndGetOFString(DCM_SOPClassUID, src_class).good() && !src_class.empty() &&
        sds->findAndGetOFString(DCM_SeriesInstanceUID, src_series).good() && !src_series.empty() &&
        sds->findAndGetOFString(DCM_SOPInstanceUID, src_instance).good() && !src_instance.empty()) {
        // The analysed volume is the evidence the results were drawn from.
        doc.getCurrentRequestedProcedureEvidence().addItem(study, src_series, src_class, src_instance);
    }
    return true;
}

// Every result the program computes is in the document: COMPLETE. No physician has
// attested it: UNVERIFIED (the default, kept). Then written whole at out_path.
bool end_report(DSRDocument& doc, const std::string& out_path, std::string& error) {
    doc.completeDocument();
    DcmFileFormat file;
    const OFCondition st = doc.write(*file.getDataset());
    if (st.bad()) {
        error = with_detail("Impossible d'\xE9" "crire le fichier DICOM " + out_path, st.text());
        return false;
    }
    return finish_file(file, out_path, error);
}

}  // namespace

bool write_structured_report(const std::string& source_dcm, const std::string& out_path, std::string& error,
                             const GatedFunction* function) {
    if (!res_ok) {
        error = write_failed(out_path, "les r\xE9sultats ne sont pas calcul\xE9s (bouton \"R\xE9sultats\")");
        return false;
    }
    DSRDocument doc(DSRTypes::DT_ComprehensiveSR);
    bool utf8 = false;
    if (!begin_report(source_dcm, out_path, "Vesmora - r\xE9sultats", "902", doc, utf8, error)) return false;

    const ClinicalSummary sum = CLINICAL_SUMMARY(SECTEUR, SCORE);
    const DSRCodedEntryValue PERCENT("%", "UCUM", "%");
    const DSRCodedEntryValue SCORE_UNIT("{score}", "UCUM", "score");  // UCUM's annotation: a count without unit
    DSRDocumentTree& tree = doc.getTree();
    ReportTree r(tree, utf8);
    const DSRCodedEntryValue title("122602", "DCM", "Myocardial Perfusion Analysis");
    if (tree.addContentItem(DSRTypes::RT_isRoot, DSRTypes::VT_Container) == 0 ||
        tree.getCurrentContentItem().setConceptName(title).bad()) {
        error = write_failed(out_path, "arbre du rapport structur\xE9");
        return false;
    }
    r.open(r.local("SEGMENTS", "Segments du ventricule gauche (mod\xE8le \xE0 17 segments)"));
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const SectorInfo& s = SECTORS[n];
        const std::string number = std::to_string(n);
        r.open(r.local("SEG" + number, ("Segment " + number).c_str()));
        r.add_text(r.local("NAME-FR", "Nom du segment"), s.name_fr);
        r.add_text(r.local("NAME-EN", "Nom du segment (anglais)"), s.name_en);
        r.add_text(r.local("TERRITORY", "Territoire coronaire"), TERRITORY_NAME[s.territory]);
        r.add_num(r.local("UPTAKE", "Fixation relative"), number_text(SECTEUR[n]), PERCENT);
        r.add_num(r.local("SCORE", "Score"), std::to_string(SCORE[n]), SCORE_UNIT);
        r.close();
    }
    r.close();
    r.add_num(r.local("SUMMED-SCORE", "Score somm\xE9"), std::to_string(sum.summed_score), SCORE_UNIT);
    r.add_text(r.local("SEVERITY", "S\xE9v\xE9rit\xE9 du score somm\xE9"), SEVERITY_NAME[sum.severity]);
    r.add_num(r.local("ABNORMAL", "Myocarde anormal"), number_text(sum.percent_abnormal), PERCENT);
    r.open(r.local("TERRITORIES", "Territoires coronaires"));
    for (int t = TERR_LAD; t <= TERR_LCX; t++) {
        const TerritorySummary& ts = sum.territory[t];
        r.open(r.local(TERRITORY_NAME[t], TERRITORY_NAME[t]));
        r.add_num(r.local("SUMMED-SCORE", "Score somm\xE9"), std::to_string(ts.summed_score), SCORE_UNIT);
        r.add_num(r.local("MEAN-UPTAKE", "Fixation moyenne"), number_text(ts.mean_percent), PERCENT);
        r.close();
    }
    r.close();
    if (function) {
        // LOINC's left-ventricular concepts, as DICOM's cardiac templates use them; the warnings
        // come before the values they qualify.
        r.open(r.local("FUNCTION", "Fonction ventriculaire gauche (\xE9tude synchronis\xE9" "e)"));
        if (!function->measured) {
            r.add_text(r.local("NOT-MEASURED", "Fonction non mesur\xE9" "e"), function->reason.c_str());
        } else {
            for (const std::string& flag : function->flags)
                r.add_text(r.local("WARNING", "R\xE9sultat \xE0 v\xE9rifier"), flag.c_str());
            const DSRCodedEntryValue ML("mL", "UCUM", "mL");
            auto tenth = [](double v) { return number_text(std::round(v * 10) / 10); };  // as the record keeps them
            r.add_num(DSRCodedEntryValue("18026-5", "LN", "Left Ventricular End Diastolic Volume"),
                      tenth(function->edv_ml), ML);
            r.add_num(DSRCodedEntryValue("18148-7", "LN", "Left Ventricular End Systolic Volume"),
                      tenth(function->esv_ml), ML);
            r.add_num(DSRCodedEntryValue("10230-1", "LN", "Left Ventricular Ejection Fraction"),
                      tenth(function->ef_percent), PERCENT);
            r.add_num(r.local("GATES", "Nombre d'intervalles"), std::to_string(function->volume_ml.size()),
                      DSRCodedEntryValue("{gates}", "UCUM", "intervalles"));
        }
        r.add_text(r.local("METHOD", "M\xE9thode"), FUNCTION_METHOD_NOTE);
        r.close();
    }
    if (!r.ok()) {
        error = write_failed(out_path, "arbre du rapport structur\xE9");
        return false;
    }
    return end_report(doc, out_path, error);
}

bool write_pair_structured_report(const std::string& stress_dcm, const std::string& rest_dcm,
                                  const float stress_percent[18], const float rest_percent[18],
                                  const StressRestComparison& c, const std::string& out_path, std::string& error) {
    DSRDocument doc(DSRTypes::DT_ComprehensiveSR);
    bool utf8 = false;
    if (!begin_report(stress_dcm, out_path, "Vesmora - effort / repos", "903", doc, utf8, error)) return false;
    // The rest study's volume is evidence too (its own study when it has one of its own).
    DcmFileFormat rest;
    std::string rest_error;
    OFString r_study, r_class, r_series, r_instance;
    if (read_source(rest_dcm, rest, rest_error)) {
        DcmDataset* rds = rest.getDataset();
        if (rds->findAndGetOFString(DCM_StudyInstanceUID, r_study).good() &&
            rds->findAndGetOFString(DCM_SOPClassUID, r_class).good() && !r_class.empty() &&
            rds->findAndGetOFString(DCM_SeriesInstanceUID, r_series).good() && !r_series.empty() &&
            rds->findAndGetOFString(DCM_SOPInstanceUID, r_instance).good() && !r_instance.empty())
            doc.getCurrentRequestedProcedureEvidence().addItem(r_study, r_series, r_class, r_instance);
    }
    const DSRCodedEntryValue PERCENT("%", "UCUM", "%");
    const DSRCodedEntryValue SCORE_UNIT("{score}", "UCUM", "score");
    DSRDocumentTree& tree = doc.getTree();
    ReportTree r(tree, utf8);
    const DSRCodedEntryValue title("122602", "DCM", "Myocardial Perfusion Analysis");
    if (tree.addContentItem(DSRTypes::RT_isRoot, DSRTypes::VT_Container) == 0 ||
        tree.getCurrentContentItem().setConceptName(title).bad()) {
        error = write_failed(out_path, "arbre du rapport structur\xE9");
        return false;
    }
    r.open(r.local("SEGMENTS", "Segments du ventricule gauche, effort et repos (mod\xE8le \xE0 17 segments)"));
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const std::string number = std::to_string(n);
        r.open(r.local("SEG" + number, ("Segment " + number).c_str()));
        r.add_text(r.local("NAME-FR", "Nom du segment"), SECTORS[n].name_fr);
        r.add_text(r.local("TERRITORY", "Territoire coronaire"), TERRITORY_NAME[SECTORS[n].territory]);
        r.add_num(r.local("UPTAKE-STRESS", "Fixation relative d'effort"), number_text(stress_percent[n]), PERCENT);
        r.add_num(r.local("UPTAKE-REST", "Fixation relative de repos"), number_text(rest_percent[n]), PERCENT);
        r.add_num(r.local("SCORE-STRESS", "Score d'effort"), std::to_string(c.stress[n]), SCORE_UNIT);
        r.add_num(r.local("SCORE-REST", "Score de repos"), std::to_string(c.rest[n]), SCORE_UNIT);
        r.add_num(r.local("DIFFERENCE", "Diff\xE9rence (effort - repos)"), std::to_string(c.difference[n]), SCORE_UNIT);
        r.add_text(r.local("CLASS", "Classe"), SEGMENT_CLASS_FR[c.cls[n]]);
        r.close();
    }
    r.close();
    r.add_num(r.local("SSS", "Score somm\xE9 d'effort (SSS)"), std::to_string(c.sss), SCORE_UNIT);
    r.add_num(r.local("SRS", "Score somm\xE9 de repos (SRS)"), std::to_string(c.srs), SCORE_UNIT);
    r.add_num(r.local("SDS", "Score somm\xE9 des diff\xE9rences (SDS)"), std::to_string(c.sds), SCORE_UNIT);
    r.add_num(r.local("ISCHEMIC", "Myocarde isch\xE9mique"), number_text(c.percent_ischemic), PERCENT);
    r.add_text(r.local("ISCHEMIA", "Bande d'isch\xE9mie (indicative)"), ISCHEMIA_FR[c.band]);
    r.open(r.local("TERRITORIES", "Territoires coronaires"));
    for (int t = TERR_LAD; t <= TERR_LCX; t++) {
        r.open(r.local(TERRITORY_NAME[t], TERRITORY_NAME[t]));
        r.add_num(r.local("SSS", "SSS"), std::to_string(c.territory[t].sss), SCORE_UNIT);
        r.add_num(r.local("SRS", "SRS"), std::to_string(c.territory[t].srs), SCORE_UNIT);
        r.add_num(r.local("SDS", "SDS"), std::to_string(c.territory[t].sds), SCORE_UNIT);
        r.close();
    }
    r.close();
    if (!r.ok()) {
        error = write_failed(out_path, "arbre du rapport structur\xE9");
        return false;
    }
    return end_report(doc, out_path, error);
}
