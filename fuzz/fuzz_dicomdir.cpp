// A CD's DICOMDIR: the input's bytes are the DICOMDIR of a folder holding a series stored one frame
// per file (IM1..IM3) and a multi-frame study (MF), written by the target at start. The listing never
// names a file outside the folder; opening it through "Ouvrir" (the chooser answers its first line)
// either loads a volume or refuses it leaving the caption and the volume as they were; the file is
// closed. The target also writes its seed, a well-formed DICOMDIR of that folder, into seeds/dicomdir/.
#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dicomdir.h"
#include "fuzz_support.h"
#include "headless.h"
#include "import.h"
#include "main.h"

namespace fs = std::filesystem;

namespace {

const fs::path cd = fs::absolute("dicomdir-cd");

void image(const std::string& name, int frames, int slice) {
    DcmFileFormat f;
    DcmDataset* d = f.getDataset();
    d->putAndInsertString(DCM_SOPClassUID, UID_NuclearMedicineImageStorage);
    d->putAndInsertString(DCM_SOPInstanceUID, ("2.25.4242" + std::to_string(slice) + std::to_string(frames)).c_str());
    d->putAndInsertString(DCM_StudyInstanceUID, "2.25.1");
    d->putAndInsertString(DCM_SeriesInstanceUID, frames > 1 ? "2.25.3" : "2.25.2");
    d->putAndInsertString(DCM_Modality, "NM");
    d->putAndInsertString(DCM_PatientName, "FUZZ^CD");
    d->putAndInsertString(DCM_AcquisitionDate, "20260915");
    d->putAndInsertString(DCM_SliceThickness, "4.0");
    d->putAndInsertString(DCM_PixelSpacing, "4.0\\4.0");
    d->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0");
    d->putAndInsertString(DCM_ImagePositionPatient, ("0\\0\\" + std::to_string(4 * slice)).c_str());
    d->putAndInsertString(DCM_InstanceNumber, std::to_string(slice + 1).c_str());
    if (frames > 1) d->putAndInsertString(DCM_NumberOfFrames, std::to_string(frames).c_str());
    d->putAndInsertUint16(DCM_SamplesPerPixel, 1);
    d->putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2");
    d->putAndInsertUint16(DCM_Rows, 8);
    d->putAndInsertUint16(DCM_Columns, 8);
    d->putAndInsertUint16(DCM_BitsAllocated, 16);
    d->putAndInsertUint16(DCM_BitsStored, 16);
    d->putAndInsertUint16(DCM_HighBit, 15);
    d->putAndInsertUint16(DCM_PixelRepresentation, 0);
    std::vector<Uint16> pixels(64 * static_cast<std::size_t>(frames));
    for (std::size_t n = 0; n < pixels.size(); n++) pixels[n] = static_cast<Uint16>(100 + (n * 7 + slice) % 50);
    d->putAndInsertUint16Array(DCM_PixelData, pixels.data(), static_cast<unsigned long>(pixels.size()));
    f.saveFile((cd / name).c_str(), EXS_LittleEndianExplicit);
}

void record(DcmSequenceOfItems* seq, const char* type, const char* file) {
    auto* item = new DcmItem();
    item->putAndInsertString(DCM_DirectoryRecordType, type);
    if (std::string(type) == "PATIENT") item->putAndInsertString(DCM_PatientName, "FUZZ^CD");
    if (std::string(type) == "STUDY") item->putAndInsertString(DCM_StudyDate, "20260915");
    if (std::string(type) == "SERIES") item->putAndInsertString(DCM_Modality, "NM");
    if (file) item->putAndInsertString(DCM_ReferencedFileID, file);
    seq->insert(item);
}

void write_fixture() {
    fs::create_directories(cd);
    for (int n = 0; n < 3; n++) image("IM" + std::to_string(n + 1), 1, n);
    image("MF", 4, 0);
    DcmFileFormat dir;
    dir.getMetaInfo()->putAndInsertString(DCM_MediaStorageSOPClassUID, UID_MediaStorageDirectoryStorage);
    dir.getMetaInfo()->putAndInsertString(DCM_MediaStorageSOPInstanceUID, "2.25.99");
    auto* seq = new DcmSequenceOfItems(DCM_DirectoryRecordSequence);
    record(seq, "PATIENT", nullptr);
    record(seq, "STUDY", nullptr);
    record(seq, "SERIES", nullptr);
    for (const char* f : {"IM3", "IM1", "IM2"}) record(seq, "IMAGE", f);
    record(seq, "SERIES", nullptr);
    record(seq, "IMAGE", "MF");
    dir.getDataset()->insert(seq);
    fs::create_directories("seeds/dicomdir");
    dir.saveFile("seeds/dicomdir/cd-two-series", EXS_LittleEndianExplicit);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    write_fixture();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    static const bool started = [] {
        fuzz::start();
        register_import_hooks();
        return true;
    }();
    (void)started;
    const std::string path = (cd / "DICOMDIR").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes),
                                                                  static_cast<std::streamsize>(size));

    std::string error;
    std::error_code ec;
    const std::string root = fs::weakly_canonical(cd, ec).string() + "/";
    for (const DirSeries& s : dicomdir_series(path, error))
        for (const std::string& f : s.files)
            if (fs::weakly_canonical(f, ec).string().compare(0, root.size(), root) != 0)
                fuzz::fail("the listing named a file outside the CD's folder", 0);

    const unsigned long generation = data_generation;
    const std::string caption = WINDOW->caption;
    headless::queue_open_answer(path);
    try {
        plat_send_message(WINDOW, VM_COMMAND, 10, 0);
    } catch (const fuzz::ProgramExit& e) {
        if (e.status != 1) fuzz::fail("the open path ended the program with a status other than 1", e.status);
        if (fich != nullptr) std::fclose(fich);
        fich = nullptr;
    }
    if (fich != nullptr) fuzz::fail("the study file was left open", 0);
    if (data_generation == generation && WINDOW->caption != caption) fuzz::fail("a refused CD changed the caption", 0);
    headless::state().choose_answers.clear();
    fuzz::trim_backend();
    return 0;
}
