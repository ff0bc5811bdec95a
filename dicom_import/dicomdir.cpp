// Reading a CD: the DICOMDIR's records are walked in their order (patient, then its studies,
// each study's series, each series' images, as CD writers lay them out), the files they name
// are found beside the directory (in upper or lower case, as the CD is mounted) and never
// outside its folder.
#include "dicomdir.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "Main_Wnd_Proc.h"
#include "main.h"
#include "platform.h"
#include "series.h"

namespace fs = std::filesystem;

namespace {

const char* const DIRECTORY_STORAGE = "1.2.840.10008.1.3.10";

std::string value(DcmItem* item, const DcmTagKey& tag) {
    OFString s;
    if (item == nullptr || item->findAndGetOFStringArray(tag, s).bad()) return "";
    std::string t(s.c_str());
    while (!t.empty() && t.back() == ' ') t.pop_back();
    return t;
}

// The part of `name` in `folder`, as the directory writes it or in another case.
bool find_part(const fs::path& folder, const std::string& name, fs::path& found) {
    std::error_code ec;
    if (fs::exists(folder / name, ec)) {
        found = folder / name;
        return true;
    }
    auto same = [&name](const std::string& other) {
        return other.size() == name.size() &&
               std::equal(other.begin(), other.end(), name.begin(), [](char a, char b) {
                   return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
               });
    };
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
        if (same(e.path().filename().string())) {
            found = e.path();
            return true;
        }
    return false;
}

std::string date_text(const std::string& d) {
    if (d.size() < 8) return d;
    return d.substr(6, 2) + "/" + d.substr(4, 2) + "/" + d.substr(0, 4);
}

}  // namespace

bool is_dicomdir(const std::string& path) {
    DcmFileFormat file;
    if (file.loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 4096, ERM_metaOnly).good()) {
        OFString sop;
        if (file.getMetaInfo()->findAndGetOFString(DCM_MediaStorageSOPClassUID, sop).good())
            return sop == DIRECTORY_STORAGE;
    }
    return named_dicomdir(path);
}

bool named_dicomdir(const std::string& path) {
    std::string name = file_name_of(path);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name == "DICOMDIR";
}

std::vector<DirSeries> dicomdir_series(const std::string& path, std::string& error) {
    error.clear();
    std::vector<DirSeries> list;
    char buf[1400];
    DcmFileFormat file;
    DcmSequenceOfItems* records = nullptr;
    if (file.loadFile(path.c_str()).bad() ||
        file.getDataset()->findAndGetSequence(DCM_DirectoryRecordSequence, records).bad() || records == nullptr) {
        std::snprintf(buf, sizeof buf, "Ce DICOMDIR ne peut pas \xEAtre lu (%s) : sa liste d'enregistrements est "
                      "absente ou illisible.", path.c_str());
        error = buf;
        return list;
    }
    const fs::path folder = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    std::error_code ec;
    const fs::path root = fs::weakly_canonical(folder, ec);
    std::string patient, date;
    bool in_series = false;  // an image record belongs to the last series record met under its study
    for (unsigned long n = 0; n < records->card(); n++) {
        DcmItem* r = records->getItem(n);
        const std::string type = value(r, DCM_DirectoryRecordType);
        if (type == "PATIENT") {
            patient = value(r, DCM_PatientName);
            for (char& c : patient)
                if (c == '^') c = ' ';
            date.clear();
            in_series = false;
        } else if (type == "STUDY") {
            date = value(r, DCM_StudyDate);
            in_series = false;
        } else if (type == "SERIES") {
            in_series = true;
            DirSeries s;
            s.patient = patient;
            s.date = date_text(date);
            s.modality = value(r, DCM_Modality);
            s.series_uid = value(r, DCM_SeriesInstanceUID);
            s.description = value(r, DCM_SeriesDescription);
            list.push_back(s);
        } else if (type == "IMAGE" && in_series) {
            const std::string id = value(r, DCM_ReferencedFileID);
            if (id.empty()) continue;
            // "DIR\SUB\FILE": each part a plain name, never a way up or out.
            fs::path at = folder;
            bool there = true;
            std::size_t from = 0;
            while (from <= id.size()) {
                const std::size_t to = std::min(id.find('\\', from), id.size());
                const std::string part = id.substr(from, to - from);
                if (part.empty() || part == "." || part == ".." || part.find('/') != std::string::npos ||
                    part.find(':') != std::string::npos) {
                    std::snprintf(buf, sizeof buf, "DICOMDIR refus\xE9 (%s) : il d\xE9signe un fichier hors de son "
                                  "dossier (\xAB %s \xBB).", path.c_str(), id.c_str());
                    error = buf;
                    return {};
                }
                fs::path next;
                if (there && find_part(at, part, next))
                    at = next;
                else
                    there = false;
                from = to + 1;
            }
            if (there) {  // a link may lead elsewhere too
                const fs::path real = fs::weakly_canonical(at, ec);
                const std::string r_s = real.string(), root_s = root.string() + "/";
                if (r_s.compare(0, root_s.size(), root_s) != 0) {
                    std::snprintf(buf, sizeof buf, "DICOMDIR refus\xE9 (%s) : il d\xE9signe un fichier hors de son "
                                  "dossier (\xAB %s \xBB).", path.c_str(), id.c_str());
                    error = buf;
                    return {};
                }
            }
            if (there && fs::is_regular_file(at, ec))
                list.back().files.push_back(at.string());
            else
                list.back().missing.push_back(id);
        }
    }
    // Images and gating from the first file of each series (its header only).
    for (DirSeries& s : list) {
        if (s.files.empty()) continue;
        DcmFileFormat first;
        Sint32 frames = 1;
        Uint16 slots = 0;
        if (first.loadFile(s.files[0].c_str(), EXS_Unknown, EGL_noChange, 4096).good()) {
            DcmDataset* d = first.getDataset();
            if (d->findAndGetSint32(DCM_NumberOfFrames, frames).bad() || frames < 1) frames = 1;
            d->findAndGetUint16(DCM_NumberOfTimeSlots, slots);
            if (s.description.empty()) s.description = value(d, DCM_SeriesDescription);
        }
        s.frames = s.files.size() == 1 ? frames : static_cast<long>(s.files.size() + s.missing.size());
        s.gated = slots > 1;
    }
    return list;
}

std::vector<DirSeries> dicomdir_nm_series(const std::string& path, std::string& error) {
    std::vector<DirSeries> all = dicomdir_series(path, error), nm;
    for (DirSeries& s : all)
        if (s.modality == "NM") nm.push_back(std::move(s));
    if (error.empty() && nm.empty()) {
        char buf[1200];
        std::snprintf(buf, sizeof buf, "Ce DICOMDIR (%s) ne liste aucune s\xE9rie de m\xE9" "decine nucl\xE9" "aire (NM) : "
                      "rien \xE0 ouvrir.", path.c_str());
        error = buf;
    }
    return nm;
}

std::string series_line(const DirSeries& s) {
    char buf[600];
    std::snprintf(buf, sizeof buf, "%s  -  %s  -  %s  -  %ld images  -  %s",
                  s.patient.empty() ? "(patient sans nom)" : s.patient.c_str(), s.date.empty() ? "(sans date)" : s.date.c_str(),
                  s.description.empty() ? "(sans description)" : s.description.c_str(), s.frames,
                  s.gated ? "synchronis\xE9" : "non synchronis\xE9");
    return buf;
}

int gather_study(const char* path, std::unique_ptr<DcmFileFormat>& study, std::string& error) {
    error.clear();
    if (is_dicomdir(path)) {
        const std::vector<DirSeries> nm = dicomdir_nm_series(path, error);
        if (!error.empty()) return -1;
        int chosen = 0;
        if (nm.size() > 1) {
            std::vector<std::string> lines;
            std::vector<const char*> items;
            for (const DirSeries& s : nm) lines.push_back(series_line(s));
            for (const std::string& l : lines) items.push_back(l.c_str());
            chosen = plat_choose_item(WINDOW, "Ouvrir une s\xE9rie du CD",
                                      "Ce CD contient plusieurs s\xE9ries de m\xE9" "decine nucl\xE9" "aire : choisissez "
                                      "celle \xE0 ouvrir.",
                                      items.data(), static_cast<int>(items.size()));
            if (chosen < 0) return -1;  // cancelled: nothing to say
        }
        const DirSeries& s = nm[static_cast<std::size_t>(chosen)];
        if (!s.missing.empty()) {
            std::string names;
            for (std::size_t n = 0; n < s.missing.size() && n < 5; n++) names += (n ? ", " : "") + s.missing[n];
            if (s.missing.size() > 5) names += ", ...";
            char buf[1600];
            std::snprintf(buf, sizeof buf, "S\xE9rie incompl\xE8te sur ce CD (%s) : %zu fichier(s) nomm\xE9(s) par le "
                          "DICOMDIR manque(nt) : %s.", path, s.missing.size(), names.c_str());
            error = buf;
            return -1;
        }
        if (s.files.size() == 1) {
            study = std::make_unique<DcmFileFormat>();
            if (study->loadFile(s.files[0].c_str()).bad()) {
                error = "Le fichier de la s\xE9rie choisie (" + s.files[0] + ") n'a pas pu \xEAtre lu.";
                return -1;
            }
            return 1;
        }
        return gather_files(s.files, study, error) ? 1 : -1;
    }
    if (gather_series(path, study, error)) return 1;
    return error.empty() ? 0 : -1;
}
