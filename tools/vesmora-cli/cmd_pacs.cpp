// vesmora-cli pacs config|echo|find|get|send: the hospital archive over the DICOM network,
// with the settings saved by "pacs config". Messages in UTF-8; status 0 done, 1 the archive or
// the network failed, 2 a bad argument.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "cli.h"
#include "pacs.h"

namespace {

int fail(const char* command, const std::string& latin1, int code) {
    std::cerr << "vesmora-cli pacs " << command << ": " << pacs::utf8_of(latin1) << "\n";
    return code;
}

// The saved settings, or status 1 with the reason.
bool settings(const char* command, pacs::Settings& s, int& status) {
    std::string error;
    if (pacs::load_settings(s, error)) return true;
    status = fail(command, error, 1);
    return false;
}

bool is_date(const std::string& d) {
    return d.size() == 8 && d.find_first_not_of("0123456789") == std::string::npos;
}

void print_settings(const pacs::Settings& s) {
    std::printf("Fichier        : %s\n", pacs::settings_path().c_str());
    std::printf("AE local       : %s\n", s.aet.c_str());
    std::printf("Archive        : %s@%s:%d\n", s.peer_aet.c_str(), s.host.c_str(), s.port);
    std::printf("D\xC3\xA9lais (s)     : connexion %d, message %d, transfert %d\n", s.connect_timeout, s.dimse_timeout,
                s.transfer_timeout);
    if (!s.tls) {
        std::printf("TLS            : non\n");
        return;
    }
    std::printf("TLS            : oui, autorit\xC3\xA9 %s\n", s.ca.c_str());
    if (!s.cert.empty()) std::printf("Notre certificat : %s (cl\xC3\xA9 %s)\n", s.cert.c_str(), s.key.c_str());
}

// A file named on the command line, kept with its absolute path (the settings serve from anywhere).
std::string absolute(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path p = std::filesystem::absolute(path, ec);
    return ec ? path : p.lexically_normal().string();
}

// Rows as a table whose columns fit their widest cell (Latin-1 cells: one byte per letter).
void print_table(const std::vector<pacs::SeriesRow>& rows) {
    std::vector<std::vector<std::string>> cells = {
        {"Patient", "Date", "Description", "S\xE9rie (UID)", "Coupes", "Synchronis\xE9" "e"}};
    for (const auto& r : rows)
        cells.push_back({r.patient, r.date, r.description, r.series_uid, std::to_string(r.frames), pacs::gated_text(r)});
    size_t width[6] = {};
    for (const auto& line : cells)
        for (int c = 0; c < 6; c++) width[c] = std::max(width[c], line[c].size());
    for (const auto& line : cells) {
        std::string out;
        for (int c = 0; c < 6; c++) {
            std::string cell = line[c];
            if (c < 5) cell.resize(width[c] + 2, ' ');
            out += cell;
        }
        std::printf("%s\n", pacs::utf8_of(out).c_str());
    }
}

}  // namespace

void add_pacs_command(CLI::App& app, int& status) {
    auto* pacs_cmd = app.add_subcommand("pacs", "The hospital archive (PACS): settings, echo, find, get, send");
    pacs_cmd->require_subcommand(1);

    auto* config = pacs_cmd->add_subcommand("config", "Set the archive (or show the settings when no option is given)");
    static std::string aet, peer;
    static int connect_timeout = 0, dimse_timeout = 0, transfer_timeout = 0;
    config->add_option("--aet", aet, "Our AE title");
    config->add_option("--peer", peer, "The archive: AE_TITLE@HOST:PORT");
    config->add_option("--connect-timeout", connect_timeout, "Seconds for the connection and the association");
    config->add_option("--dimse-timeout", dimse_timeout, "Seconds for each DIMSE message");
    config->add_option("--transfer-timeout", transfer_timeout, "Seconds for a whole retrieval or store");
    static bool tls = false, no_tls = false;
    static std::string ca, cert, key;
    config->add_flag("--tls", tls, "Every association over TLS 1.2 or later (needs --ca)");
    config->add_flag("--no-tls", no_tls, "Plain TCP again")->excludes("--tls");
    config->add_option("--ca", ca, "PEM file of the authorities that sign the archive's certificate");
    config->add_option("--cert", cert, "PEM file of our certificate, for an archive that asks for one (with --key)");
    config->add_option("--key", key, "PEM file of our private key (with --cert)");
    config->callback([&status] {
        pacs::Settings s;
        std::string error;
        const bool saved = pacs::load_settings(s, error);
        if (aet.empty() && peer.empty() && !connect_timeout && !dimse_timeout && !transfer_timeout && !tls && !no_tls &&
            ca.empty() && cert.empty() && key.empty()) {  // show
            if (!saved) {
                status = fail("config", error, 1);
                return;
            }
            print_settings(s);
            return;
        }
        if (!aet.empty()) s.aet = aet;
        if (!peer.empty()) {
            const size_t at = peer.find('@'), colon = peer.rfind(':');
            if (at == std::string::npos || colon == std::string::npos || colon < at ||
                peer.find_first_not_of("0123456789", colon + 1) != std::string::npos || colon + 1 == peer.size() ||
                colon - at > 256) {
                status = fail("config", "--peer attend AE_TITLE@H\xD4TE:PORT, pas " + pacs::latin1_of(peer), 2);
                return;
            }
            s.peer_aet = peer.substr(0, at);
            s.host = peer.substr(at + 1, colon - at - 1);
            s.port = std::stoi(peer.substr(colon + 1, 6));
        }
        if (connect_timeout) s.connect_timeout = connect_timeout;
        if (dimse_timeout) s.dimse_timeout = dimse_timeout;
        if (transfer_timeout) s.transfer_timeout = transfer_timeout;
        if (tls || no_tls) s.tls = tls;
        if (!ca.empty()) s.ca = absolute(ca);
        if (!cert.empty()) s.cert = absolute(cert);
        if (!key.empty()) s.key = absolute(key);
        if (!pacs::save_settings(s, error)) {
            status = fail("config", error, 2);
            return;
        }
        print_settings(s);
    });

    auto* echo = pacs_cmd->add_subcommand("echo", "Check the archive answers (C-ECHO)");
    echo->callback([&status] {
        pacs::Settings s;
        if (!settings("echo", s, status)) return;
        std::string error;
        const auto start = std::chrono::steady_clock::now();
        if (!pacs::echo(s, error)) {
            status = fail("echo", error, 1);
            return;
        }
        const long ms = long(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        std::printf("C-ECHO : %s@%s:%d r\xC3\xA9pond (%ld ms)\n", s.peer_aet.c_str(), s.host.c_str(), s.port, ms);
    });

    auto* find = pacs_cmd->add_subcommand("find", "Find series (C-FIND at study, series and image level)");
    static std::string patient, dates, modality = "NM";
    find->add_option("--patient", patient, "Patient's name, or its beginning ('*' and '?' match any)");
    find->add_option("--date", dates, "Study dates FROM-TO, each YYYYMMDD (either may be left out), or one date");
    find->add_option("--modality", modality, "Modality of the series")->capture_default_str();
    find->callback([&status] {
        pacs::Query q;
        q.patient = pacs::latin1_of(patient);
        q.modality = modality;
        if (!dates.empty()) {
            const size_t dash = dates.find('-');
            q.date_from = dates.substr(0, dash);
            q.date_to = dash == std::string::npos ? q.date_from : dates.substr(dash + 1);
            if ((!q.date_from.empty() && !is_date(q.date_from)) || (!q.date_to.empty() && !is_date(q.date_to)) ||
                dates == "-") {
                status = fail("find", "--date attend AAAAMMJJ-AAAAMMJJ, pas " + pacs::latin1_of(dates), 2);
                return;
            }
        }
        pacs::Settings s;
        if (!settings("find", s, status)) return;
        std::vector<pacs::SeriesRow> rows;
        std::string error;
        if (!pacs::find(s, q, rows, error)) {
            status = fail("find", error, 1);
            return;
        }
        print_table(rows);
        std::printf("%zu s\xC3\xA9rie(s)\n", rows.size());
    });

    auto* get = pacs_cmd->add_subcommand("get", "Retrieve a series into a folder (C-GET), one file per instance");
    static std::string series, out;
    static int slow_ms = 0;
    get->add_option("SERIES_UID", series, "Series Instance UID")->required();
    get->add_option("--out", out, "Folder to write into (made when missing)")->required();
    // For the tests: waits this long at each received piece, so that a transfer can be cut half-way.
    get->add_option("--slow", slow_ms)->group("");
    // For the tests: cancels, as the desktop's "Annuler" does, once this many bytes of an instance have come.
    static unsigned long cancel_at = 0;
    get->add_option("--cancel-at", cancel_at)->group("");
    get->callback([&status] {
        pacs::Settings s;
        if (!settings("get", s, status)) return;
        std::vector<std::string> files;
        std::string error;
        const pacs::Progress progress = [](int, int, unsigned long bytes) {
            if (slow_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(slow_ms));
            return cancel_at == 0 || bytes < cancel_at;
        };
        if (!pacs::get_series(s, series, out, files, error, progress)) {
            status = fail("get", error, 1);
            return;
        }
        for (const std::string& f : files) std::printf("%s\n", f.c_str());
        std::printf("%zu fichier(s) re\xC3\xA7u(s)\n", files.size());
    });

    auto* send = pacs_cmd->add_subcommand("send", "Store DICOM files in the archive (C-STORE)");
    static std::vector<std::string> files;
    send->add_option("FILE", files, "DICOM files")->required();
    send->callback([&status] {
        pacs::Settings s;
        if (!settings("send", s, status)) return;
        std::string error;
        if (!pacs::send(s, files, error)) {
            status = fail("send", error, 1);
            return;
        }
        std::printf("%zu fichier(s) envoy\xC3\xA9(s) \xC3\xA0 %s@%s:%d\n", files.size(), s.peer_aet.c_str(), s.host.c_str(),
                    s.port);
    });
}
