// Shared by the DICOM import tests: a started program in a temporary folder.
#ifndef VESMORA_DICOM_TEST_UTIL_H
#define VESMORA_DICOM_TEST_UTIL_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Dicom.h"
#include "dicom_writer.h"
#include "headless.h"
#include "main.h"
#include "test_support.h"

class DicomTest : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        // The shipped palettes beside the program, so that start-up shows no box of its own.
        write_file(dir.str() + "/PALETS", read_file(VESMORA_SOURCE_DIR "/data/PALETS"));
        start_in(dir.str());
        headless::state().echo_boxes = true;  // death tests match the boxes on stderr
    }
    void TearDown() override { vesmora_alloc = std::malloc; }

    std::string log() { return read_file(dir.str() + "/log.txt"); }
    std::string save(const std::string& bytes, const std::string& name = "study.dcm") {
        const std::string path = dir.str() + "/" + name;
        write_file(path, bytes);
        return path;
    }
    // Runs the header reader on these bytes as the loader does (file open in binary mode).
    int header(const std::string& bytes) {
        const std::string path = save(bytes, "header.dcm");
        FILE* f = std::fopen(path.c_str(), "rb");
        const int ok = GET_DICOM_INFO(f);
        std::fclose(f);
        return ok;
    }
    int boxes() { return static_cast<int>(headless::state().boxes.size()); }
    std::string last_box() { return boxes() ? headless::state().boxes.back().text : std::string(); }
};

#endif
