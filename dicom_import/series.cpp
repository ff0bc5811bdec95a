// One frame per file: the frames of a series are put in slice order, checked (one size, one
// orientation, one series, evenly spaced without gap or double) and joined into one multi-frame
// dataset that reads as the same study exported as a single file would.
#include "series.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>

namespace fs = std::filesystem;

namespace {

// One file of the series, its header read (the pixels stay on disk until asked for).
struct Frame {
    std::string path;
    std::unique_ptr<DcmFileFormat> file;
    Uint16 rows = 0, cols = 0, bits = 0, samples = 1;
    double position[3] = {0, 0, 0}, orientation[6] = {0, 0, 0, 0, 0, 0};
    bool has_position = false, has_orientation = false;
    long instance = 0;
    bool has_instance = false;
    double along = 0;  // position projected on the slice normal
    OFString series, study;
};

DcmDataset* dataset(const Frame& f) { return f.file->getDataset(); }

std::unique_ptr<DcmFileFormat> read_header(const std::string& path) {
    auto file = std::make_unique<DcmFileFormat>();
    // A slice's pixels (up to 256 x 256 x 2 bytes) are read with its header, in one pass; longer
    // values (another study's frames) only when asked for.
    if (file->loadFile(path.c_str(), EXS_Unknown, EGL_noChange, 256 * 1024, ERM_autoDetect).bad()) return nullptr;
    return file;
}

long frames_of(DcmDataset* d) {
    Sint32 n = 1;
    if (d->findAndGetSint32(DCM_NumberOfFrames, n).bad()) return 1;
    return n;
}

bool read_frame(Frame& f) {
    DcmDataset* d = dataset(f);
    if (d->findAndGetOFString(DCM_SeriesInstanceUID, f.series).bad() || f.series.empty()) return false;
    d->findAndGetOFString(DCM_StudyInstanceUID, f.study);
    d->findAndGetUint16(DCM_Rows, f.rows);
    d->findAndGetUint16(DCM_Columns, f.cols);
    d->findAndGetUint16(DCM_BitsAllocated, f.bits);
    d->findAndGetUint16(DCM_SamplesPerPixel, f.samples);
    f.has_position = true;
    for (unsigned long n = 0; n < 3; n++)
        f.has_position = f.has_position && d->findAndGetFloat64(DCM_ImagePositionPatient, f.position[n], n).good() &&
                         std::isfinite(f.position[n]);
    f.has_orientation = true;
    for (unsigned long n = 0; n < 6; n++)
        f.has_orientation = f.has_orientation &&
                            d->findAndGetFloat64(DCM_ImageOrientationPatient, f.orientation[n], n).good() &&
                            std::isfinite(f.orientation[n]);
    Sint32 number = 0;
    f.has_instance = d->findAndGetSint32(DCM_InstanceNumber, number).good();
    f.instance = number;
    return true;
}

std::string text(const char* format, const std::string& a, const std::string& b = "", const std::string& c = "",
                 const std::string& d = "") {
    char buf[1400];
    std::snprintf(buf, sizeof buf, format, a.c_str(), b.c_str(), c.c_str(), d.c_str());
    return buf;
}

// Puts the frames in slice order (along the normal, else by instance number) and checks the
// spacing; the even spacing in mm (0 when ordered by number), or a French error.
bool order_frames(std::vector<Frame>& frames, double& spacing, std::string& error, const std::string& where) {
    spacing = 0;
    const bool by_position = std::all_of(frames.begin(), frames.end(),
                                         [](const Frame& f) { return f.has_position && f.has_orientation; });
    if (by_position) {
        const double* o = frames[0].orientation;
        double normal[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
        const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
        if (!(length > 0.5)) {
            error = text("S\xE9rie illisible (%s) : l'orientation des images de %s n'en donne pas la normale.", where,
                         file_name_of(frames[0].path));
            return false;
        }
        for (double& v : normal) v /= length;
        for (Frame& f : frames) {
            for (int n = 0; n < 6; n++)
                if (std::fabs(f.orientation[n] - o[n]) > 1e-3) {
                    error = text("S\xE9rie refus\xE9" "e (%s) : l'image %s n'a pas l'orientation de %s.", where,
                                 file_name_of(f.path), file_name_of(frames[0].path));
                    return false;
                }
            f.along = f.position[0] * normal[0] + f.position[1] * normal[1] + f.position[2] * normal[2];
        }
        std::stable_sort(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) { return a.along < b.along; });
        double step = INFINITY;
        for (std::size_t n = 1; n < frames.size(); n++) {
            const double d = frames[n].along - frames[n - 1].along;
            if (d < 1e-3) {
                error = text("S\xE9rie refus\xE9" "e (%s) : les images %s et %s sont \xE0 la m\xEAme position.", where,
                             file_name_of(frames[n - 1].path), file_name_of(frames[n].path));
                return false;
            }
            step = std::min(step, d);
        }
        const double tolerance = std::max(1e-3, 0.01 * step);
        for (std::size_t n = 1; n < frames.size(); n++) {
            const double d = frames[n].along - frames[n - 1].along;
            if (std::fabs(d - step) > tolerance) {
                char gap[64];
                std::snprintf(gap, sizeof gap, "%.4g mm au lieu de %.4g mm", d, step);
                error = text("S\xE9rie refus\xE9" "e (%s) : il manque des coupes entre %s et %s (%s).", where,
                             file_name_of(frames[n - 1].path), file_name_of(frames[n].path), gap);
                return false;
            }
        }
        spacing = (frames.back().along - frames.front().along) / static_cast<double>(frames.size() - 1);
        return true;
    }
    for (const Frame& f : frames)
        if (!f.has_instance) {
            error = text("S\xE9rie refus\xE9" "e (%s) : l'image %s n'a ni position (0020,0032 et 0020,0037) ni "
                         "num\xE9ro d'instance (0020,0013) : l'ordre des coupes est inconnu.",
                         where, file_name_of(f.path));
            return false;
        }
    std::stable_sort(frames.begin(), frames.end(), [](const Frame& a, const Frame& b) { return a.instance < b.instance; });
    for (std::size_t n = 1; n < frames.size(); n++) {
        if (frames[n].instance == frames[n - 1].instance) {
            error = text("S\xE9rie refus\xE9" "e (%s) : les images %s et %s portent le m\xEAme num\xE9ro d'instance.",
                         where, file_name_of(frames[n - 1].path), file_name_of(frames[n].path));
            return false;
        }
        if (frames[n].instance != frames[n - 1].instance + 1) {
            error = text("S\xE9rie refus\xE9" "e (%s) : il manque des images entre %s et %s (num\xE9ros d'instance).",
                         where, file_name_of(frames[n - 1].path), file_name_of(frames[n].path));
            return false;
        }
    }
    return true;
}

// The frames joined: the first one's header, every frame's pixels, the count and spacing.
bool join(std::vector<Frame>& frames, double spacing, std::unique_ptr<DcmFileFormat>& merged, std::string& error,
          const std::string& where) {
    const Frame& first = frames.front();
    const std::size_t per_frame = static_cast<std::size_t>(first.rows) * first.cols * (first.bits / 8);
    // The joined pixels are written straight into the merged dataset's element.
    auto* joined = new DcmPixelData(DCM_PixelData);
    Uint8* pixels = nullptr;
    Uint16* words = nullptr;
    const std::size_t total = per_frame * frames.size();
    if (first.bits == 16) {
        joined->setVR(EVR_OW);
        if (joined->createUint16Array(static_cast<Uint32>(total / 2), words).good()) pixels = reinterpret_cast<Uint8*>(words);
    } else {
        joined->setVR(EVR_OB);
        joined->createUint8Array(static_cast<Uint32>(total), pixels);
    }
    if (pixels == nullptr || total > 0xFFFFFFF0u) {
        delete joined;
        error = text("S\xE9rie refus\xE9" "e (%s) : m\xE9moire insuffisante pour en joindre les images.", where);
        return false;
    }
    for (std::size_t n = 0; n < frames.size(); n++) {
        DcmDataset* d = dataset(frames[n]);
        const E_TransferSyntax xfer = d->getOriginalXfer();
        // Encapsulated pixels are decoded by whichever codecs the program registered.
        if (DcmXfer(xfer).isEncapsulated() && d->chooseRepresentation(EXS_LittleEndianExplicit, nullptr).bad()) {
            error = text("S\xE9rie refus\xE9" "e (%s) : les pixels compress\xE9s de %s n'ont pas pu \xEAtre d\xE9" "cod\xE9s.",
                         where, file_name_of(frames[n].path));
            delete joined;
            return false;
        }
        DcmElement* element = nullptr;
        const Uint8* bytes = nullptr;
        unsigned long count = 0;
        if (d->findAndGetElement(DCM_PixelData, element).good() && element != nullptr) {
            if (first.bits == 16) {
                Uint16* words = nullptr;
                if (element->getUint16Array(words).good() && words) {
                    bytes = reinterpret_cast<const Uint8*>(words);
                    count = element->getLength();
                }
            } else {
                Uint8* raw = nullptr;
                if (element->getUint8Array(raw).good() && raw) {
                    bytes = raw;
                    count = element->getLength();
                }
            }
        }
        if (bytes == nullptr || count < per_frame) {
            delete joined;
            error = text("S\xE9rie refus\xE9" "e (%s) : les pixels de %s sont absents ou incomplets.", where,
                         file_name_of(frames[n].path));
            return false;
        }
        std::copy(bytes, bytes + per_frame, pixels + n * per_frame);
        // Each frame's pixels are given back as soon as they are copied.
        if (n > 0) d->findAndDeleteElement(DCM_PixelData);
    }

    merged = std::make_unique<DcmFileFormat>();
    DcmDataset* out = merged->getDataset();
    // The header of the first slice, every element before the pixels (nothing after them:
    // the reader takes the pixels from the end of the file).
    DcmDataset* in = dataset(first);
    for (unsigned long n = 0; n < in->card(); n++) {
        DcmElement* e = in->getElement(n);
        if (e->getTag() >= DCM_PixelData) break;
        out->insert(static_cast<DcmElement*>(e->clone()), true);
    }
    char value[64];
    std::snprintf(value, sizeof value, "%zu", frames.size());
    out->putAndInsertString(DCM_NumberOfFrames, value);
    if (spacing > 0) {
        std::snprintf(value, sizeof value, "%.6g", spacing);
        out->putAndInsertString(DCM_SpacingBetweenSlices, value);
        if (!out->tagExistsWithValue(DCM_SliceThickness)) out->putAndInsertString(DCM_SliceThickness, value);
    }
    // The frames run over the slices, numbered from 1.
    out->putAndInsertTagKey(DCM_FrameIncrementPointer, DCM_SliceVector);
    std::vector<Uint16> slices(frames.size());
    for (std::size_t n = 0; n < slices.size(); n++) slices[n] = static_cast<Uint16>(n + 1);
    out->putAndInsertUint16Array(DCM_SliceVector, slices.data(), static_cast<unsigned long>(slices.size()));
    out->putAndInsertUint16(DCM_NumberOfSlices, static_cast<Uint16>(std::min<std::size_t>(frames.size(), 65535)));
    out->insert(joined, true);
    return true;
}

bool gather(std::vector<Frame>& frames, std::unique_ptr<DcmFileFormat>& merged, std::string& error,
            const std::string& where) {
    if (frames.size() < 2) {
        error = text("S\xE9rie refus\xE9" "e (%s) : %s est la seule image de sa s\xE9rie ; il faut au moins deux "
                     "coupes pour un volume.",
                     where, file_name_of(frames.empty() ? where : frames[0].path));
        return false;
    }
    const Frame& a = frames.front();
    for (const Frame& f : frames) {
        if (f.series != a.series || f.study != a.study) {
            error = text("S\xE9ries m\xE9lang\xE9" "es (%s) : %s n'appartient pas \xE0 la s\xE9rie de %s.", where,
                         file_name_of(f.path), file_name_of(a.path));
            return false;
        }
        if (frames_of(dataset(f)) > 1) {
            error = text("S\xE9rie refus\xE9" "e (%s) : %s contient plusieurs images alors que les autres n'en ont "
                         "qu'une.",
                         where, file_name_of(f.path));
            return false;
        }
        if (f.rows != a.rows || f.cols != a.cols || f.bits != a.bits || f.samples != a.samples) {
            char sizes[120];
            std::snprintf(sizes, sizeof sizes, "%u x %u sur %u bits au lieu de %u x %u sur %u bits", f.rows, f.cols,
                          f.bits, a.rows, a.cols, a.bits);
            error = text("Tailles d'image m\xE9lang\xE9" "es (%s) : %s a des images de %s.", where, file_name_of(f.path),
                         sizes);
            return false;
        }
    }
    if (a.rows == 0 || a.cols == 0 || (a.bits != 8 && a.bits != 16) || a.samples != 1) {
        error = text("S\xE9rie refus\xE9" "e (%s) : le format des pixels de %s n'est pas lu (une composante de 8 ou "
                     "16 bits attendue).",
                     where, file_name_of(a.path));
        return false;
    }
    double spacing = 0;
    if (!order_frames(frames, spacing, error, where)) return false;
    return join(frames, spacing, merged, error, where);
}

}  // namespace

std::string file_name_of(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool gather_series(const std::string& path, std::unique_ptr<DcmFileFormat>& merged, std::string& error) {
    error.clear();
    Frame self;
    self.path = path;
    self.file = read_header(path);
    if (!self.file || frames_of(dataset(self)) > 1 || !dataset(self)->tagExists(DCM_PixelData) || !read_frame(self))
        return false;
    std::vector<Frame> frames;
    const fs::path folder = fs::path(path).parent_path().empty() ? fs::path(".") : fs::path(path).parent_path();
    std::error_code ec;
    const fs::path own = fs::path(path).filename();
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        std::error_code ec2;
        if (entry.path().filename() == own || !entry.is_regular_file(ec2) || entry.file_size(ec2) < 132) continue;
        Frame f;
        f.path = entry.path().string();
        f.file = read_header(f.path);
        if (!f.file || !read_frame(f) || f.series != self.series) continue;
        frames.push_back(std::move(f));
    }
    frames.push_back(std::move(self));
    return gather(frames, merged, error, path);
}

bool gather_files(const std::vector<std::string>& files, std::unique_ptr<DcmFileFormat>& merged, std::string& error) {
    error.clear();
    std::vector<Frame> frames;
    for (const std::string& path : files) {
        Frame f;
        f.path = path;
        f.file = read_header(path);
        if (!f.file || !read_frame(f)) {
            error = text("S\xE9rie refus\xE9" "e : %s n'est pas une image DICOM lisible de la s\xE9rie.", path);
            return false;
        }
        frames.push_back(std::move(f));
    }
    return gather(frames, merged, error, files.empty() ? std::string() : fs::path(files[0]).parent_path().string());
}
