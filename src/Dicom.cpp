// DICOM import: the header reader and the volume loader.
//
// Sections:
//   1. header reader   GET_DICOM_INFO, GET_ASCII, FORMAT_DATE, GET_VOXZIZE, GET_NFRAMES
//   2. volume loader   LOAD_DCM_FILE, READ_DATA, SWITCH_SLICES
#include "Dicom.h"

#include <cstdlib>
#include <cstring>

#include "main.h"

// =============================================================================================
// 1. Header reader
// =============================================================================================
int GET_DICOM_INFO(FILE* file) {
    (void)file;
    return 0;  // TODO(header)
}

int GET_ASCII(char* dest, const unsigned char* src, int len, int mode, int keep_zeros) {
    (void)dest, (void)src, (void)len, (void)mode, (void)keep_zeros;
    return 0;  // TODO(header)
}

int FORMAT_DATE(char* text) {
    (void)text;
    return 0;  // TODO(header)
}

int GET_VOXZIZE(float* value, const unsigned char* src, int len, int digits) {
    (void)value, (void)src, (void)len, (void)digits;
    return 0;  // TODO(header)
}

int GET_NFRAMES(int* value, const unsigned char* src, int len) {
    (void)value, (void)src, (void)len;
    return 0;  // TODO(header)
}

// =============================================================================================
// 2. Volume loader
// =============================================================================================
int LOAD_DCM_FILE() {
    return 0;  // TODO(volume)
}

int READ_DATA() {
    return 0;  // TODO(volume)
}

int SWITCH_SLICES(int mode) {
    (void)mode;
    return 0;  // TODO(volume)
}
