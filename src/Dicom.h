// DICOM import: the header reader and the volume loader.
#ifndef VESMORA_DICOM_H
#define VESMORA_DICOM_H

#include <cstdio>
#include <string>

// Header reader. GET_DICOM_INFO logs the nine values it needs (and the rescale values);
// it also fills, silently, the identification (PAT_ID, STUDY_UID, STUDY_DATE, SERIES_DESC,
// RADIOPHARM) and the pixel format (BITS_ALLOC, PIX_UNSIGNED, RESCALE_*), which READ_DATA checks.
int GET_DICOM_INFO(FILE* file);
int GET_ASCII(char* dest, const unsigned char* src, int len, int mode, int keep_zeros);
int FORMAT_DATE(char* text);
int GET_VOXZIZE(float* value, const unsigned char* src, int len, int digits);
int GET_NFRAMES(int* value, const unsigned char* src, int len);
// 1 when the file meta information names explicit VR little endian (or the file has
// no "DICM" mark, which GET_DICOM_INFO refuses); 0 after a warning box that names
// the transfer syntax found, or says that none is named.
int CHECK_SYNTAX(FILE* file);

// What a study file becomes before the reader sees it, when the program links the DICOM
// import (compressed or other transfer syntaxes, one frame per file, DICOMDIR, gated).
struct PreparedStudy {
    std::FILE* file = nullptr;  // explicit VR little endian bytes to read instead of the user's file
                                // (a memory stream the hook owns); null: read the user's file as it is
    std::string note;           // Latin-1, for the log and the report ("" when none)
    void (*release)(PreparedStudy&) = nullptr;  // frees `file` and its memory
};
struct OpenHooks {
    // 1: `out.file` holds the study to read; 0: read `path` as it is; -1: refused, `error`
    // (French, Latin-1, names the file and the reason; empty when the user cancelled) for the
    // caller's box.
    int (*prepare)(const char* path, PreparedStudy& out, std::string& error);
};
extern OpenHooks open_hooks;  // null at start

// Volume loader
// The open-file dialog, then LOAD_DCM_PATH on its answer.
int LOAD_DCM_FILE();
// Reads the study at `path` (the checks, boxes and log of a load); 1 when a volume was read.
int LOAD_DCM_PATH(const char* path);
int READ_DATA();
int SWITCH_SLICES(int mode);

#endif
