// DICOM import: the header reader and the volume loader.
#ifndef VESMORA_DICOM_H
#define VESMORA_DICOM_H

#include <cstdio>

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

// Volume loader
// The open-file dialog, then LOAD_DCM_PATH on its answer.
int LOAD_DCM_FILE();
// Reads the study at `path` (the checks, boxes and log of a load); 1 when a volume was read.
int LOAD_DCM_PATH(const char* path);
int READ_DATA();
int SWITCH_SLICES(int mode);

#endif
