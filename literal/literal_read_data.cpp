// READ_DATA transcribed step by step, one element at a time.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "Dicom.h"
#include "literal.h"
#include "main.h"

int LITERAL_READ_DATA() {
    // 1.
    RAP = 256 / ech;
    // 2.
    const int N = ech * ech * NCZ;
    short* buf = static_cast<short*>(vesmora_alloc(2 * static_cast<std::size_t>(N)));
    if (buf == nullptr) {
        MOMS(" load ");
        EXIT_PROGRAM(33);
    }
    // 3.
    for (int n = 0; n < 256 * 256 * 256; n++) data[n] = 0;
    // 4.
    std::fseek(fich, 0, SEEK_END);
    const long size = std::ftell(fich);
    std::fseek(fich, size - 2 * N, SEEK_SET);
    if (std::fread(buf, 2, static_cast<std::size_t>(N), fich) != static_cast<std::size_t>(N)) {
        std::free(buf);
        DATA_CHANGED();  // the volume was cleared in step 3
        return 1;
    }
    // 5.
    for (int i = 0; i < 256; i++) {
        for (int j = 0; j < 256; j++) {
            for (int k = 0; k < 256; k++) {
                const float x = static_cast<float>(i) / RAP;
                const float y = (ech - 1) - static_cast<float>(j) / RAP;
                const float z = (NCZ - 1) - static_cast<float>(k) / RAP + static_cast<float>(ech - NCZ) / 2;
                int x0 = static_cast<int>(x);
                int y0 = static_cast<int>(y);
                int z0 = static_cast<int>(z);
                if (x < 0) x0 = x0 - 1;
                if (y < 0) y0 = y0 - 1;
                if (z < 0) z0 = z0 - 1;
                const int x1 = x0 + 1, y1 = y0 + 1, z1 = z0 + 1;
                if (x0 >= 0 && x1 < ech && y0 >= 0 && y1 < ech && z0 >= 0 && z1 < NCZ) {
                    float v = 0;
                    v += std::fabs((x1 - x) * (y1 - y) * (z1 - z)) * buf[(z0 * ech + x0) * ech + y0];
                    v += std::fabs((x1 - x) * (y0 - y) * (z1 - z)) * buf[(z0 * ech + x0) * ech + y1];
                    v += std::fabs((x0 - x) * (y1 - y) * (z1 - z)) * buf[(z0 * ech + x1) * ech + y0];
                    v += std::fabs((x0 - x) * (y0 - y) * (z1 - z)) * buf[(z0 * ech + x1) * ech + y1];
                    v += std::fabs((x1 - x) * (y1 - y) * (z0 - z)) * buf[(z1 * ech + x0) * ech + y0];
                    v += std::fabs((x1 - x) * (y0 - y) * (z0 - z)) * buf[(z1 * ech + x0) * ech + y1];
                    v += std::fabs((x0 - x) * (y1 - y) * (z0 - z)) * buf[(z1 * ech + x1) * ech + y0];
                    v += std::fabs((x0 - x) * (y0 - y) * (z0 - z)) * buf[(z1 * ech + x1) * ech + y1];
                    data[i * 65536 + j * 256 + k] = v;
                }
            }
        }
    }
    // 6.
    float max = 0, min = 999999.875f;
    for (int n = 0; n < 256 * 256 * 256; n++) {
        if (data[n] > max) max = data[n];
        if (data[n] < min) min = data[n];
    }
    std::snprintf(chaine, CHAINE_SIZE, "Max data : %2.1f\nMin data : %2.1f\n", max, min);
    WRITE_LOGFILE(chaine);
    // 7.
    for (int n = 0; n < 256 * 256 * 256; n++) {
        data[n] = static_cast<float>(data[n] * 100.0 / max);
        if (data[n] < 0) data[n] = 0;
        if (data[n] > 100) data[n] = 100;
    }
    // 8.
    SWITCH_SLICES(1);
    SWITCH_SLICES(2);
    // 9.
    Nhla = 128;
    Nvla = 128;
    Nsa = 128;
    ell_ri = 80;
    ell_rj = 50;
    ell_rk = 50;
    ill_ri = 30;
    ill_rj = 20;
    ill_rk = 20;
    plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);
    RAP = 1;
    res3D_ang = 8;
    for (int n = 0; n < 3; n++) set_centre[n] = 0;
    for (int n = 0; n < 3; n++) set_centri[n] = 0;
    for (int n = 0; n < 2; n++) set_plan[n] = 0;
    for (int n = 0; n < 3; n++) slide[n] = 0;
    ell_ok = 0;
    res_ok = 0;
    plat_send_message(WINDOW, VM_INITDIALOG, 0, 0);
    std::free(buf);
    for (int r = 0; r < sam_ax; r++)
        for (int c = 0; c < sam_ang; c++) SAMPLE[r * 480 + c] = 0;
    for (int n = 0; n <= 17; n++) SECTEUR[n] = 0;
    return 0;
}
