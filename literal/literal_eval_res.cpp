// Literal transcription of EVAL_RES, step by step, with the same single and
// double precision at every operation as the program's evaluation: the
// baseline of bench_eval_res and the reference of the exactness tests.
//
// Precision, operation by operation: the axial positions, h, t, the ray
// points a and b, the ray sums, the measures (each term a float quotient of
// two integer squares, summed i + j + k), the wall angle, rho and the sector
// sums are single precision; the ray angle, its cosine and sine and their
// products with the semi-axes and the square roots, every "add 0.5" and the
// scale factors 99.5 / M and 99.999 / M are double.
#include <cmath>

#include "Display.h"
#include "literal.h"
#include "main.h"

namespace {

void add_to(int n, float v, int* count) {
    SECTEUR[n] += v;
    count[n]++;
}

}  // namespace

int LITERAL_EVAL_RES() {
    // 1. Axial positions: three quarters of the rows from the base plane to the
    //    apex level, the last quarter from the apex level to the tip.
    const int K = (3 * sam_ax) / 4;
    const int L = sam_ax / 4;
    float P[480];
    for (int q = 0; q < sam_ax; q++) {
        if (q < K)
            P[q] = static_cast<float>(plan_i) +
                   static_cast<float>(q * (apex_i - plan_i)) / static_cast<float>(K);
        else
            P[q] = static_cast<float>(apex_i) +
                   static_cast<float>((q - K) * (ell_ri + ell_ci - apex_i)) / static_cast<float>(L);
    }

    // 2. Rays.
    for (int r = 0; r < sam_ax; r++) {
        for (int s = 0; s < sam_ang; s++) {
            const float z = P[r];
            const int p = static_cast<int>(z + 0.5);
            const double phi = s * 3.1415 / (sam_ang / 2);
            int a0 = ell_cj;
            int b0 = ell_ck;
            const float hz = z - static_cast<float>(ill_ci);
            const float h = 1.0f - hz * hz / static_cast<float>(ill_ri * ill_ri);
            if (h >= 0) {
                a0 = ill_cj + static_cast<int>(std::cos(phi) * ill_rj * std::sqrt(static_cast<double>(h)) + 0.5);
                b0 = ill_ck + static_cast<int>(std::sin(phi) * ill_rk * std::sqrt(static_cast<double>(h)) + 0.5);
            }
            float& e = SAMPLE[r * 480 + s];
            e = 0;
            int count = 0;
            const float tz = z - static_cast<float>(ell_ci);
            const float t = 1.0f - tz * tz / static_cast<float>(ell_ri * ell_ri);
            if (t >= 0) {
                const int a1 = ell_cj + static_cast<int>(std::cos(phi) * ell_rj * std::sqrt(static_cast<double>(t)) + 0.5);
                const int b1 = ell_ck + static_cast<int>(std::sin(phi) * ell_rk * std::sqrt(static_cast<double>(t)) + 0.5);
                for (int q = 0; q <= 100; q++) {
                    const float a = a0 + (a1 - a0) * q / 100.0f;
                    const float b = b0 + (b1 - b0) * q / 100.0f;
                    const int ja = static_cast<int>(a + 0.5);
                    const int kb = static_cast<int>(b + 0.5);
                    if (ja >= 0 && ja <= 255 && kb >= 0 && kb <= 255 && p >= 0 && p <= 255) {
                        e += data[p * 65536 + ja * 256 + kb];
                        count++;
                    }
                }
                if (count > 0) e /= count;
            }
        }
    }

    // 3. Ray normalisation (nothing to scale when every ray is 0).
    float M = 0;
    for (int r = 0; r < sam_ax; r++)
        for (int s = 0; s < sam_ang; s++)
            if (SAMPLE[r * 480 + s] > M) M = SAMPLE[r * 480 + s];
    if (M > 0)
        for (int r = 0; r < sam_ax; r++)
            for (int s = 0; s < sam_ang; s++) SAMPLE[r * 480 + s] *= 99.5 / M;

    // 4. Sector sums over the wall.
    int count[18];
    for (int n = 0; n < 18; n++) {
        SECTEUR[n] = 0;
        count[n] = 0;
    }
    const float eri = static_cast<float>(ell_ri * ell_ri), erj = static_cast<float>(ell_rj * ell_rj),
                erk = static_cast<float>(ell_rk * ell_rk);
    const float iri = static_cast<float>(ill_ri * ill_ri), irj = static_cast<float>(ill_rj * ill_rj),
                irk = static_cast<float>(ill_rk * ill_rk);
    for (int i = 0; i < 256; i++) {
        for (int j = 0; j < 256; j++) {
            for (int k = 0; k < 256; k++) {
                const float outer = static_cast<float>((i - ell_ci) * (i - ell_ci)) / eri +
                                    static_cast<float>((j - ell_cj) * (j - ell_cj)) / erj +
                                    static_cast<float>((k - ell_ck) * (k - ell_ck)) / erk;
                const float inner = static_cast<float>((i - ill_ci) * (i - ill_ci)) / iri +
                                    static_cast<float>((j - ill_cj) * (j - ill_cj)) / irj +
                                    static_cast<float>((k - ill_ck) * (k - ill_ck)) / irk;
                if (!(inner >= 1.0f && outer <= 1.0f)) continue;
                float th = std::atan2(static_cast<float>(k - ell_ck), static_cast<float>(j - ell_cj));
                while (th < 0) th = th + 6.2831853;
                const float v = data[i * 65536 + j * 256 + k];
                if (sect_i[3] <= i && i <= sect_i[4]) add_to(17, v, count);
                if (sect_i[2] <= i && i <= sect_i[3]) {
                    if (0.7853981625 <= th && th <= 2.3561944875) add_to(13, v, count);
                    if (2.3561944875 <= th && th <= 3.9269908125) add_to(14, v, count);
                    if (3.9269908125 <= th && th <= 5.4977871375) add_to(15, v, count);
                    if (th <= 0.7853981625 || th >= 5.4977871375) add_to(16, v, count);
                }
                if (sect_i[1] <= i && i <= sect_i[2]) {
                    if (0 <= th && th <= 1.04719755) add_to(12, v, count);
                    if (1.04719755 <= th && th <= 2.0943951) add_to(7, v, count);
                    if (2.0943951 <= th && th <= 3.14159265) add_to(8, v, count);
                    if (3.14159265 <= th && th <= 4.1887902) add_to(9, v, count);
                    if (4.1887902 <= th && th <= 5.23598775) add_to(10, v, count);
                    if (5.23598775 <= th && th <= 6.2831853) add_to(11, v, count);
                }
                if (sect_i[0] <= i && i <= sect_i[1]) {
                    if (0 <= th && th <= 1.04719755) add_to(6, v, count);
                    if (1.04719755 <= th && th <= 2.0943951) add_to(1, v, count);
                    if (2.0943951 <= th && th <= 3.14159265) add_to(2, v, count);
                    if (3.14159265 <= th && th <= 4.1887902) add_to(3, v, count);
                    if (4.1887902 <= th && th <= 5.23598775) add_to(4, v, count);
                    if (5.23598775 <= th && th <= 6.2831853) add_to(5, v, count);
                }
            }
        }
    }

    // 5. Sector means, the best one at 99.999 (nothing to scale when all are 0).
    for (int n = 0; n < 18; n++)
        if (count[n] > 0) SECTEUR[n] /= count[n];
    M = 0;
    for (int n = 0; n < 18; n++)
        if (SECTEUR[n] > M) M = SECTEUR[n];
    if (M > 0)
        for (int n = 0; n < 18; n++) SECTEUR[n] *= 99.999 / M;

    // 6. Scores.
    for (int n = 1; n <= 17; n++) {
        const float v = SECTEUR[n];
        if (v >= 70)
            SCORE[n] = 0;
        else if (v >= 50)
            SCORE[n] = 1;
        else if (v >= 30)
            SCORE[n] = 2;
        else if (v >= 10)
            SCORE[n] = 3;
        else
            SCORE[n] = 4;
    }

    // 7. Bull's-eye values.
    for (int row = 0; row < 400; row++) {
        for (int col = 0; col < 400; col++) {
            BULL[row * 400 + col] = 0;
            float th = std::atan2(static_cast<float>(row - 200), static_cast<float>(col - 200));
            while (th < 0) th = th + 6.2831853;
            const float rho =
                std::sqrt(static_cast<float>((row - 200) * (row - 200) + (col - 200) * (col - 200))) / 180.0f;
            const int o = static_cast<int>(sam_ax * rho + 0.5);
            int h = static_cast<int>(sam_ang * th / 6.2831853 + 0.5);
            if (h < 0) h = 0;
            if (h >= sam_ang) h = sam_ang - 1;
            if (0 <= o && o < sam_ax) BULL[row * 400 + col] = SAMPLE[(sam_ax - 1 - o) * 480 + h];
        }
    }

    // 8.
    res_ok = 1;
    DISPLAY_RES();
    return 0;
}
