// The program-wide state: the definition of every shared variable and of the
// hooks tests replace, and INIT_STATE, which gives them their start values
// (buffers reserved, program folder, palettes, picture descriptions, defaults,
// sector geometry). Start-up and the message loop are in main.cpp, the log and
// the message boxes in log.cpp.
#include "main.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "Display.h"
#include "commands.h"
#include "layout.h"
#include "sectors.h"
#include "volume_pages.h"

// ---------------------------------------------------------------------------------------------
// State (meanings and start values in main.h)
// ---------------------------------------------------------------------------------------------
// No initialisers: INIT_STATE() gives every variable its start value; until it
// runs, all are zero.
char* chaine;
char* PAT_NAME;
char* PAT_SEX;
char* PAT_DATE;
char* ACQ_DATE;
char* PAT_AGE;
char* tmpath;
char* APP_FOLDER;
char LOG_FOLDER[PATH_SIZE];
char DCM_PATH[PATH_SIZE];
char PAT_ID[ID_TEXT_SIZE];
char STUDY_UID[ID_TEXT_SIZE];
char STUDY_DATE[20];
char SERIES_DESC[ID_TEXT_SIZE];
char STUDY_NOTE[STUDY_NOTE_SIZE];
GateFrames GATES;
GateFrames GATES_PENDING;
char RADIOPHARM[ID_TEXT_SIZE];
int PAT_AGE_COMPUTED;
int MODEL_ORIGIN;
char MODEL_ORIGIN_FILE[PATH_SIZE];
int BITS_ALLOC;
int PIX_UNSIGNED;
double RESCALE_SLOPE;
double RESCALE_INTERCEPT;

unsigned char* BMPhla;
unsigned char* BMPvla;
unsigned char* BMPsa;
unsigned char* BMPshla;
unsigned char* BMPsvla;
unsigned char* BMPssa;
unsigned char* BMPres;
unsigned char* BMPpal;

BitmapDesc bmpinfo, bmpinf;
BitmapDesc bmpinfo_s, bmpinf_s;
BitmapDesc bmpinfo_, bmpinf_;
BitmapDesc bmpinfo_p, bmpinf_p;

HBMP_ bmphla, bmpvla, bmpsa, bmpshla, bmpsvla, bmpssa, bmpres, bmppal;

HWND_ WINDOW;
HWND_ STATIChla, STATICvla, STATICsa;
HWND_ STATICshla, STATICsvla, STATICssa;
HWND_ STATICres;
HWND_ STATICpal;
HWND_ d3_A, d3_S, d3_I, d3_L;
HWND_ winsect[18];
PlatMsg message;

int load_ok;
int ech;
int NCZ;
int RAP;
int Nhla, Nvla, Nsa;
int palet;
int couleur;
unsigned char couleurs[2 * 6 * 3];
unsigned char palette[PALETS_BYTES];
int set_ombre;
// Aligned to the cache line, so that 16 values along k share one line (the HLA view reads them so).
alignas(64) float data[VOL_SIZE];
unsigned long data_generation;

int Data_NZ;
float VOXEL_SIZE_XY;
float VOXEL_SIZE_Z;
int OrImSize_H;
int OrImSize_V;

int ell_ok;
int ell_ci, ell_cj, ell_ck;
int ell_ri, ell_rj, ell_rk;
int ill_ci, ill_cj, ill_ck;
int ill_ri, ill_rj, ill_rk;
int plan_i;
int apex_i;
int sect_i[5];
int amplii;
int ELL_R, ELL_G, ELL_B;

int lbutt[3], rbutt[3];
int set_centre[3];
int set_centri[3];
int set_plan[2];
int slide[3];
int buttposi, buttposj;
int elri_, elrj_, elrk_;
int ilri_, ilrj_, ilrk_;
int res_rot;
int res3D_prev;

int res_ok;
int RES_DISP;
int res3D_ang;
int Tot_ang;
int sam_ax, sam_ang;
float SAMPLE[480 * 480];
float BULL[400 * 400];
int mesh_sect[400 * 400];
float SECTEUR[18];
int SCORE[18];
int sectposi[18], sectposj[18];

FILE* FILE_LOG;
FILE* fich;

void* (*vesmora_alloc)(std::size_t size) = std::malloc;
void (*vesmora_before_exit)(int status) = nullptr;
std::size_t (*vesmora_read)(void* buf, std::size_t size, std::size_t count, FILE* file) = std::fread;
void (*vesmora_exit)(int status) = nullptr;

// ---------------------------------------------------------------------------------------------
// Start values
// ---------------------------------------------------------------------------------------------
void EXIT_PROGRAM(int status) {
    if (vesmora_before_exit != nullptr) vesmora_before_exit(status);
    std::fflush(nullptr);
    if (vesmora_exit != nullptr) vesmora_exit(status);
    std::exit(status);
}

namespace {

// Reserves one start-up buffer; on failure the memory box names it and the program ends.
template <typename T>
T* reserve(std::size_t bytes, const char* code) {
    void* p = vesmora_alloc(bytes);
    if (p == nullptr) {
        MOMS(code);
        EXIT_PROGRAM(33);
    }
    std::memset(p, 0, bytes);
    return static_cast<T*>(p);
}

template <typename T>
void release(T*& p) {
    std::free(p);
    p = nullptr;
}

void fill_desc(BitmapDesc& d, int w, int h) {
    d = BitmapDesc{};
    d.biSize = 40;
    d.biWidth = w;
    d.biHeight = h;
    d.biPlanes = 1;
    d.biBitCount = 24;
    d.biCompression = 0;
    d.biSizeImage = static_cast<std::uint32_t>(w * h * 3);
    d.biXPelsPerMeter = 1;
    d.biYPelsPerMeter = 1;
}

void release_all() {
    release(chaine);
    release(PAT_NAME);
    release(PAT_SEX);
    release(PAT_DATE);
    release(ACQ_DATE);
    release(PAT_AGE);
    release(tmpath);
    release(APP_FOLDER);
    release(BMPhla);
    release(BMPvla);
    release(BMPsa);
    release(BMPshla);
    release(BMPsvla);
    release(BMPssa);
    release(BMPres);
    release(BMPpal);
}

}  // namespace

void SET_APP_FOLDER(char* dest, const char* program_path) {
    std::memset(dest, 0, PATH_SIZE);
    std::strncpy(dest, program_path, PATH_SIZE - 1);
    // Scan 0..255 (never past the path's end) for the last separator; a
    // lower-case ".exe" ahead ends the scan, so "C:\x.exe\prog.exe" gives "C:/".
    int last_sep = -1;
    const int len = static_cast<int>(std::strlen(dest));
    for (int i = 0; i < 256 && i < len; i++) {
        if (dest[i] == '\\' || dest[i] == '/') last_sep = i;
        if (i + 4 < PATH_SIZE && dest[i + 1] == '.' && dest[i + 2] == 'e' && dest[i + 3] == 'x' &&
            dest[i + 4] == 'e')
            break;
    }
    // A path without a separator has no folder part: the folder is empty.
    for (int i = last_sep + 1; i < PATH_SIZE; i++) dest[i] = 0;
    REMP_SLASH(dest, 0);
}

void INIT_STATE() {
    release_all();

    // Texts, in this order; each failure names its buffer.
    chaine = reserve<char>(CHAINE_SIZE, " char ");
    PAT_NAME = reserve<char>(100, " DRE-1 ");
    PAT_SEX = reserve<char>(4, " DRE-2 ");
    PAT_DATE = reserve<char>(20, " DRE-3 ");
    ACQ_DATE = reserve<char>(20, " DRE-3 ");
    PAT_AGE = reserve<char>(4, " DRE-4 ");
    tmpath = reserve<char>(PATH_SIZE, " char ");
    APP_FOLDER = reserve<char>(PATH_SIZE, " char ");

    char program_path[PATH_SIZE] = {};
    plat_module_file_name(program_path, PATH_SIZE);
    SET_APP_FOLDER(APP_FOLDER, program_path);

    INIT_EXPFILES();
    LOAD_PALET();

    fill_desc(bmpinfo, 256, 256);
    fill_desc(bmpinf, 256, 256);
    fill_desc(bmpinfo_, 400, 400);
    fill_desc(bmpinf_, 400, 400);
    fill_desc(bmpinfo_s, 256, 16);
    fill_desc(bmpinf_s, 256, 16);
    fill_desc(bmpinfo_p, 220, 56);
    fill_desc(bmpinf_p, 220, 56);

    BMPhla = reserve<unsigned char>(VIEW_BYTES, " char ");
    BMPvla = reserve<unsigned char>(VIEW_BYTES, " char ");
    BMPsa = reserve<unsigned char>(VIEW_BYTES, " char ");
    BMPshla = reserve<unsigned char>(STRIP_BYTES, " char ");
    BMPsvla = reserve<unsigned char>(STRIP_BYTES, " char ");
    BMPssa = reserve<unsigned char>(STRIP_BYTES, " char ");
    BMPres = reserve<unsigned char>(RES_BYTES, " char ");
    BMPpal = reserve<unsigned char>(PAL_BYTES, " char ");

    std::strcpy(chaine, PATIENT_START_TEXT);
    DCM_PATH[0] = 0;
    PAT_ID[0] = STUDY_UID[0] = STUDY_DATE[0] = SERIES_DESC[0] = RADIOPHARM[0] = 0;
    STUDY_NOTE[0] = 0;
    GATES.clear();
    GATES_PENDING.clear();
    PAT_AGE_COMPUTED = 0;
    MODEL_ORIGIN = MODEL_FROM_NONE;
    MODEL_ORIGIN_FILE[0] = 0;
    BITS_ALLOC = 16;
    PIX_UNSIGNED = 0;
    RESCALE_SLOPE = 1.0;
    RESCALE_INTERCEPT = 0.0;

    // Defaults.
    ech = 64;
    NCZ = 0;
    RAP = 0;
    palet = 0;
    couleur = 0;
    Tot_ang = 32;
    res3D_ang = 8;
    Nhla = Nvla = Nsa = 128;
    sam_ax = 240;
    sam_ang = 480;
    RES_DISP = RES_BULL;
    Data_NZ = 0;
    VOXEL_SIZE_XY = VOXEL_SIZE_Z = 0.0f;
    OrImSize_H = OrImSize_V = 0;

    ell_ci = ell_cj = ell_ck = ell_ri = ell_rj = ell_rk = 0;
    ill_ci = ill_cj = ill_ck = ill_ri = ill_rj = ill_rk = 0;
    plan_i = apex_i = amplii = 0;
    std::memset(sect_i, 0, sizeof sect_i);
    ELL_R = ELL_G = ELL_B = 0;

    std::memset(lbutt, 0, sizeof lbutt);
    std::memset(rbutt, 0, sizeof rbutt);
    buttposi = buttposj = 0;
    elri_ = elrj_ = elrk_ = ilri_ = ilrj_ = ilrk_ = 0;
    res_rot = res3D_prev = 0;

    // The volume starts as zeros (static storage); until something has written it, clearing it would
    // only make the system hand out its 64 MiB of pages at start-up instead of at the first load.
    if (data_generation != 0) VOLUME_CLEAR();
    DATA_CHANGED();  // raised, not reset: a plane kept from before must not match again
    std::memset(SAMPLE, 0, sizeof SAMPLE);
    std::memset(BULL, 0, sizeof BULL);
    std::memset(SECTEUR, 0, sizeof SECTEUR);
    std::memset(SCORE, 0, sizeof SCORE);

    INIT_SECT();
    INIT_SECTPOS();

    std::memset(set_centre, 0, sizeof set_centre);
    std::memset(set_centri, 0, sizeof set_centri);
    std::memset(set_plan, 0, sizeof set_plan);
    std::memset(slide, 0, sizeof slide);
    set_ombre = 1;
    load_ok = ell_ok = res_ok = 0;

    // Windows and device bitmaps belong to the run of one back end; start without any.
    bmphla = bmpvla = bmpsa = bmpshla = bmpsvla = bmpssa = bmpres = bmppal = nullptr;
    WINDOW = nullptr;
    STATIChla = STATICvla = STATICsa = STATICshla = STATICsvla = STATICssa = STATICres = STATICpal = nullptr;
    d3_A = d3_S = d3_I = d3_L = nullptr;
    for (HWND_& w : winsect) w = nullptr;
    message = PlatMsg{};
    FILE_LOG = nullptr;
    fich = nullptr;
    FORGET_STALE_STATE();
}

void DATA_CHANGED() { data_generation++; }

// ---------------------------------------------------------------------------------------------
// Palette file
// ---------------------------------------------------------------------------------------------
namespace {

// The shipped palette file, compiled in: used when PALETS is missing or damaged.
#include "palets_builtin.inc"

// Overlay colours (R, G, B): the normal row, then the pale row shown while a mark is held.
const unsigned char COULEURS_START[2 * 6 * 3] = {
    250, 250, 250, 0, 0, 0, 0, 0, 250, 0, 250, 0, 250, 0, 0, 250, 250, 0,
    150, 150, 150, 100, 100, 100, 150, 150, 250, 150, 250, 150, 250, 150, 150, 250, 250, 200,
};

}  // namespace

int LOAD_PALET() {
    unsigned char file[PALETS_BYTES];
    std::snprintf(tmpath, PATH_SIZE, "%sPALETS", APP_FOLDER);
    std::size_t got = 0;
    fich = std::fopen(tmpath, "rb");
    if (fich != nullptr) {
        std::fseek(fich, 0, SEEK_SET);
        got = vesmora_read(file, 1, PALETS_BYTES, fich);  // bytes past 4848 are ignored
        std::fclose(fich);
        fich = nullptr;
    }
    // Every picture expects 16 complete palettes: a missing, unreadable or short
    // file gives way to the built-in copy, and the user is told once.
    if (got < static_cast<std::size_t>(PALETS_BYTES)) {
        std::memcpy(file, PALETS_BUILTIN, PALETS_BYTES);
        plat_message_box(nullptr,
                         "Le fichier des palettes (PALETS) est introuvable ou endommag\xE9 : "
                         "les palettes int\xE9gr\xE9" "es sont utilis\xE9" "es.",
                         "Vesmora", ICON_WARNING);
    }
    // File entries are (red, green, blue); the table keeps three planes per palette:
    // blue 0..100, green 101..201, red 202..302.
    for (int p = 0; p < 16; p++) {
        for (int v = 0; v < 101; v++) {
            const unsigned char* e = file + p * 303 + v * 3;
            palette[p * 303 + 202 + v] = e[0];
            palette[p * 303 + 101 + v] = e[1];
            palette[p * 303 + v] = e[2];
        }
    }
    std::memcpy(couleurs, COULEURS_START, sizeof couleurs);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Sector label offsets
// ---------------------------------------------------------------------------------------------
int INIT_SECTPOS() {
    // Axis labels at whole radii 157 (basal), 112 (mid), 67 (apical); the
    // diagonal ones at 157.5 and 112.5 towards +-30 and +-150 degrees, truncated.
    // Screen y grows downwards, so the negative angles lie above the centre.
    sectposi[0] = sectposj[0] = 0;
    for (int n = 1; n <= SECTOR_COUNT; n++) {
        const SectorInfo& s = SECTORS[n];
        if (s.radius > 0) {
            sectposi[n] = static_cast<int>(s.radius * std::cos(s.angle));
            sectposj[n] = static_cast<int>(s.radius * std::sin(s.angle));
        } else {
            sectposi[n] = s.dx;
            sectposj[n] = s.dy;
        }
    }
    return 0;
}
