// Program-wide state, start-up, the log file, message boxes and file utilities,
// the palette file and the sector label offsets. The state and INIT_STATE (with
// the palette file and the label offsets, which give it start values) are defined
// in state.cpp, start-up in main.cpp, the log and the boxes in log.cpp.
//
// Every variable the program shares is declared here once, under its fixed
// name, grouped as the state tables group it; its start value is given by
// INIT_STATE() and by nothing else (the definitions carry no initialisers).
// Texts are zero-terminated Latin-1.
//
// Not here, on purpose: the caches and scratch of the fast paths (the planes
// the views keep, the result grid, the evaluation's tables) are file-level in
// Display.cpp and Results.cpp, listed at the head of each. No user sets them
// and nothing shows them; each is rebuilt or checked before use.
#ifndef VESMORA_MAIN_H
#define VESMORA_MAIN_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform.h"

// --- sizes ------------------------------------------------------------------------
constexpr int VOL_N = 256;                      // side of the volume cube
constexpr int VOL_SIZE = VOL_N * VOL_N * VOL_N;  // 16,777,216 elements
constexpr int CHAINE_SIZE = 40000;
constexpr int PATH_SIZE = 260;
constexpr int VIEW_BYTES = 256 * 256 * 3;   // 196608
constexpr int STRIP_BYTES = 256 * 16 * 3;   // 12288
constexpr int RES_BYTES = 400 * 400 * 3;    // 480000
constexpr int PAL_BYTES = 220 * 56 * 3;     // 36960
constexpr int PALETS_BYTES = 16 * 303;      // 4848

// --- texts (reserved at start-up) -------------------------------------------------------
extern char* chaine;      // [40000] shared scratch: hover text, patient block, caption, log lines; "Infos patient\n"
extern char* PAT_NAME;    // [100] patient name from the header, decoded by its character set (Latin-1)
extern char* PAT_SEX;     // [4] patient sex
extern char* PAT_DATE;    // [20] birth date DD/MM/YYYY
extern char* ACQ_DATE;    // [20] exam date DD/MM/YYYY (the header reader may replace the buffer)
extern char* PAT_AGE;     // [4] patient age (the header reader may replace the buffer)
extern char* tmpath;      // [260] scratch path: APP_FOLDER + file name
extern char* APP_FOLDER;  // [260] program folder, '/' separators, trailing '/'
// Folder of log.txt when the program folder cannot take it (an installed program):
// the user's state folder $XDG_STATE_HOME/vesmora/ (else ~/.local/state/vesmora/; on Windows %LOCALAPPDATA%\Vesmora\),
// '/'-ended; "" while the log stays beside the program, as it does whenever it can.
extern char LOG_FOLDER[PATH_SIZE];
// Path of the study loaded last, as the open-file dialog gave it (local 8-bit bytes);
// "" until a load succeeds. The reports name it and take its checksum.
extern char DCM_PATH[PATH_SIZE];
// Identification and description of the study loaded last, beyond the patient block
// above (Latin-1, zero-terminated; "" when the file has none). The report, the records
// and the model files carry them.
constexpr int ID_TEXT_SIZE = 65;          // a DICOM LO/UI value (64) and its terminator
extern char PAT_ID[ID_TEXT_SIZE];         // (0010,0020) Patient ID
extern char STUDY_UID[ID_TEXT_SIZE];      // (0020,000D) Study Instance UID
extern char STUDY_DATE[20];               // (0008,0020) Study Date, DD/MM/YYYY
extern char SERIES_DESC[ID_TEXT_SIZE];    // (0008,103E) Series Description
extern char RADIOPHARM[ID_TEXT_SIZE];     // (0018,0031) Radiopharmaceutical
extern int PAT_AGE_COMPUTED;              // 1 when PAT_AGE was worked out from the birth and exam dates
// Pixel format of the file being read (set by the header reader at each walk, used by
// READ_DATA): value = stored x slope + intercept, stored read as 16 bits, signed or not.
extern int BITS_ALLOC;            // (0028,0100) Bits Allocated; 16 when the file does not say
extern int PIX_UNSIGNED;          // (0028,0103) Pixel Representation 0 -> 1; 0 (signed) when absent
extern double RESCALE_SLOPE;      // (0028,1053) Rescale Slope; 1 when absent
extern double RESCALE_INTERCEPT;  // (0028,1052) Rescale Intercept; 0 when absent
// What the import made of the study loaded last, in its words (Latin-1, "" when nothing):
// "donn\xE9es compress\xE9es avec perte", "synchronis\xE9 (8 intervalles), somm\xE9". The log,
// the patient block and the report carry it.
constexpr int STUDY_NOTE_SIZE = 200;
extern char STUDY_NOTE[STUDY_NOTE_SIZE];
// The time slots of a gated study loaded last (the volume read is their sum): `count`
// gates of `slices` frames of `size` x `size` values each, as the file stores them (16 bits,
// gate after gate, slice after slice, row after row; signed unless `is_unsigned`).
// Empty (count 0) for any other study, and when the gates would take more than one
// volume's worth of memory (GATES_MAX_BYTES): `not_kept` then says how many gates the study
// has, so that what reads them can say why it has none. The import fills GATES_PENDING while
// it prepares a file; a successful load moves it into GATES, any other end clears it.
struct GateFrames {
    int count = 0, slices = 0, size = 0;
    int not_kept = 0;  // gates of a gated study too large to keep (count and voxels stay empty)
    bool is_unsigned = false;
    std::vector<std::int16_t> voxels;
    bool gated() const { return count > 0 || not_kept > 0; }
    void clear() {
        count = slices = size = not_kept = 0;
        is_unsigned = false;
        std::vector<std::int16_t>().swap(voxels);
    }
};
constexpr std::size_t GATES_MAX_BYTES = std::size_t(VOL_SIZE) * sizeof(float);  // 64 MiB
extern GateFrames GATES;
extern GateFrames GATES_PENDING;

// How the model shown was placed, for the report: MODEL_FROM_NONE until it is placed and
// after a load; the file's path with MODEL_FROM_FILE, else "".
enum ModelOrigin { MODEL_FROM_NONE = 0, MODEL_FROM_SLICES = 1, MODEL_FROM_AUTO = 2, MODEL_FROM_FILE = 3 };
extern int MODEL_ORIGIN;
extern char MODEL_ORIGIN_FILE[PATH_SIZE];

// --- pictures: pixel buffers (blue, green, red; lowest line first) ---------------------
extern unsigned char* BMPhla;   // 256 x 256, view 1 (control 1); black at start
extern unsigned char* BMPvla;   // 256 x 256, view 2 (control 2); black at start
extern unsigned char* BMPsa;    // 256 x 256, view 3 (control 3); black at start
extern unsigned char* BMPshla;  // 256 x 16, strip under view 1 (control 48)
extern unsigned char* BMPsvla;  // 256 x 16, strip under view 2 (control 47)
extern unsigned char* BMPssa;   // 256 x 16, strip under view 3 (control 49)
extern unsigned char* BMPres;   // 400 x 400, results picture (control 46); black at start
extern unsigned char* BMPpal;   // 220 x 56, palette bar (control 60)

// Picture descriptions, each in two identical copies.
extern BitmapDesc bmpinfo, bmpinf;      // 256 x 256, 196608 bytes
extern BitmapDesc bmpinfo_s, bmpinf_s;  // 256 x 16, 12288 bytes
extern BitmapDesc bmpinfo_, bmpinf_;    // 400 x 400, 480000 bytes
extern BitmapDesc bmpinfo_p, bmpinf_p;  // 220 x 56, 36960 bytes

// Displayable bitmaps last handed to each control (none before the first drawing).
extern HBMP_ bmphla, bmpvla, bmpsa, bmpshla, bmpsvla, bmpssa, bmpres, bmppal;

// --- windows ----------------------------------------------------------------------------
extern HWND_ WINDOW;                                // main window ("WIN")
extern HWND_ STATIChla, STATICvla, STATICsa;        // controls 1, 2, 3
extern HWND_ STATICshla, STATICsvla, STATICssa;     // controls 48, 47, 49
extern HWND_ STATICres;                             // control 46
extern HWND_ STATICpal;                             // control 60
extern HWND_ d3_A, d3_S, d3_I, d3_L;                // orientation-letter pop-ups ("D3WIN")
extern HWND_ winsect[18];                           // sector label pop-ups 1..17 ("SECTWIN")
extern PlatMsg message;                             // record of the message loop

// --- view state -------------------------------------------------------------------------
extern int load_ok;            // a volume is loaded; 0
extern int ech;                // matrix side of the source images; 64
extern int NCZ;                // number of source frames; 0
extern int RAP;                // volume steps per source pixel during a load, then the wheel step; 0
extern int Nhla, Nvla, Nsa;    // slices shown in views 1, 2, 3 (k, j, i); 128 each
extern int palet;              // current palette 0..15; 0
extern int couleur;            // current mark colour 0..5; 0
extern unsigned char couleurs[2 * 6 * 3];  // mark colours: normal row, pale row of (R, G, B)
extern unsigned char palette[PALETS_BYTES];  // 16 palettes x (blue, green, red planes of 101)
extern int set_ombre;          // "Ombre" check box; 1
extern float data[VOL_SIZE];   // the volume, (i, j, k) at i*65536 + j*256 + k; all 0
// Count of the writes to `data`, raised by DATA_CHANGED() and never set back (not
// even by INIT_STATE, which raises it): the slice views keep the planes they last
// read and trust them only while this count has not moved.
extern unsigned long data_generation;

// --- values read from the DICOM header ---------------------------------------------------
extern int Data_NZ;            // frame count as parsed; 0
extern float VOXEL_SIZE_XY;    // mean of the two pixel spacings; 0
extern float VOXEL_SIZE_Z;     // slice thickness; 0
extern int OrImSize_H;         // Rows; 0
extern int OrImSize_V;         // Columns; 0

// --- ventricle model ---------------------------------------------------------------------
extern int ell_ok;                    // outer ellipsoid placed ("Centrer volume"); 0
extern int ell_ci, ell_cj, ell_ck;    // outer centre; kept in 12..244; 0
extern int ell_ri, ell_rj, ell_rk;    // outer semi-axes; kept in 12..120; 0
extern int ill_ci, ill_cj, ill_ck;    // inner centre; 12..244, j and k follow the outer; 0
extern int ill_ri, ill_rj, ill_rk;    // inner semi-axes; kept in 4..120; 0
extern int plan_i;                    // base plane level on i; kept in 12..244; 0
extern int apex_i;                    // apex level on i; 0
extern int sect_i[5];                 // ring levels from the base to the tip; 0
extern int amplii;                    // base plane to tip of the outer ellipsoid; 0
extern int ELL_R, ELL_G, ELL_B;       // normal-shade mark colour copied at each redraw (apex mark)

// --- mouse-drag state -----------------------------------------------------------------------
extern int lbutt[3], rbutt[3];        // left / right button went down in view n; 0
extern int set_centre[3];             // left button holds the outer centre in view n; 0
extern int set_centri[3];             // right button holds the inner centre in view n; 0
extern int set_plan[2];               // left button holds the base plane in view 1 / 2; 0
extern int slide[3];                  // left button went down in the strip under view n; 0
extern int buttposi, buttposj;        // client x, y of the press; 0
extern int elri_, elrj_, elrk_;       // outer semi-axes at the press; 0
extern int ilri_, ilrj_, ilrk_;       // inner semi-axes at the press; 0
extern int res_rot;                   // left button turns the lateral view; 0
extern int res3D_prev;                // res3D_ang at the press; 0

// --- results ------------------------------------------------------------------------------
extern int res_ok;                    // results computed; 0
extern int RES_DISP;                  // 0 bull's-eye, 1 sector %, 12 scores, 2 lateral; 0
extern int res3D_ang;                 // turning step of the lateral view; 8
extern int Tot_ang;                   // steps in a full turn; 32
extern int sam_ax, sam_ang;           // ray table rows (along the axis) and columns; 240, 480
extern float SAMPLE[480 * 480];       // ray table, (row, col) at row*480 + col; 0
extern float BULL[400 * 400];         // bull's-eye uptake per pixel, row 0 lowest; 0
extern int mesh_sect[400 * 400];      // sector 0..17 per results pixel; built at start-up
extern float SECTEUR[18];             // uptake per sector 1..17 (entry 0 stays 0); 0
extern int SCORE[18];                 // score 0..4 per sector 1..17; 0
extern int sectposi[18], sectposj[18];  // label offsets from the bull's-eye centre (x right, y down)

// --- open files ---------------------------------------------------------------------------
extern FILE* FILE_LOG;                // the log while one text is written
extern FILE* fich;                    // the DICOM or palette file while it is read

// --- start-up -------------------------------------------------------------------------------
// Gives every variable above its start value: reserves the buffers (texts, then
// pictures, each tested: MOMS and exit 33 on failure), derives APP_FOLDER from
// the program's own path, empties the log, loads the palettes, fills the picture
// descriptions, sets the defaults, builds the sector geometry and clears the
// flags. Buffers reserved by an earlier call are released first, so tests may
// call it before each case.
void INIT_STATE();

// Derives the folder from a program path as start-up does (scan for the last
// separator, stopping at a lower-case ".exe"; zero the rest; '\' -> '/').
// dest holds 260 bytes.
void SET_APP_FOLDER(char* dest, const char* program_path);

// The whole start-up (state, main window, pop-ups, first drawing) without the
// message loop, which belongs to the back end. Returns 0.
int STARTUP();

// Every reservation of the program goes through this; tests replace it to make
// one fail (it returns null then).
extern void* (*vesmora_alloc)(std::size_t size);

// The reads of the DICOM header and pixel block and of the palette file go through this
// (std::fread by default); tests replace it to make a read stop short, as a failing
// disk or network share does.
extern std::size_t (*vesmora_read)(void* buf, std::size_t size, std::size_t count, FILE* file);

// Called by EXIT_PROGRAM after the files are flushed, when set (null by default: the
// process ends). The fuzz targets set one that throws, so one run goes on to the next
// input; it must not return.
extern void (*vesmora_exit)(int status);

// Every writer of `data` (the loader, the mirrors, INIT_STATE, tests that fill it
// by hand) calls this once it has written, so no drawing shows a stale plane.
void DATA_CHANGED();

// The one way the program ends itself (33: memory, 1: rescaled DICOM file).
[[noreturn]] void EXIT_PROGRAM(int status);

// Called by EXIT_PROGRAM with the status just before the program ends, when set
// (null by default): lets a front end show what the program showed before it ended.
extern void (*vesmora_before_exit)(int status);

// --- log, boxes, files ---------------------------------------------------------------------
// Empties log.txt beside the program; when that folder cannot be written, sets
// LOG_FOLDER to the user's state folder (made if missing) and empties the log there.
int INIT_EXPFILES();
int WRITE_LOGFILE(const char* text);
int MEMS(const char* text);
int MOMS(const char* code);
int MUMS(const char* text);
int REMP_SLASH(char* path, int start);
int WRITE_TXTFILE(const char* name, const char* text);
int BrowseDir(const char* title, char* path);

// --- palettes and sector labels --------------------------------------------------------------
int LOAD_PALET();
int INIT_SECTPOS();

#endif
