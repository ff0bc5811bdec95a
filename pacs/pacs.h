// The hospital archive (PACS) over the DICOM network: settings, C-ECHO, C-FIND, C-GET, C-STORE.
// Every text returned to the user (errors, rows) is Latin-1 French, as the program's own texts;
// front ends convert when they show them.
#ifndef VESMORA_PACS_H
#define VESMORA_PACS_H

#include <functional>
#include <string>
#include <vector>

namespace pacs {

// The archive and how long to wait for it; kept in pacs.json in the user's config folder.
struct Settings {
    std::string aet = "VESMORA";  // our AE title (calling)
    std::string peer_aet;         // the archive's AE title (called); "" until configured
    std::string host;
    int port = 104;
    int connect_timeout = 10;     // seconds: TCP connection and association negotiation
    int dimse_timeout = 30;       // seconds: each DIMSE message
    int transfer_timeout = 300;   // seconds: a whole retrieval or store
    // DICOM over TLS 1.2 or later: the archive's certificate must be signed by an authority of ca
    // and name the host; cert and key (ours, both or neither) for an archive that asks for one.
    // Paths of PEM files, absolute, in the system's bytes.
    bool tls = false;
    std::string ca, cert, key;
};

// $XDG_CONFIG_HOME/vesmora/pacs.json, else ~/.config/vesmora/pacs.json; %APPDATA%\Vesmora\pacs.json on Windows.
std::string settings_path();
// False with the reason when the file is missing, unreadable or holds a bad value.
bool load_settings(Settings& s, std::string& error);
// Writes the file (and its folder); false with the reason.
bool save_settings(const Settings& s, std::string& error);
// The longest time-outs taken, in seconds (the shortest is 1 s).
inline constexpr int MAX_CONNECT_TIMEOUT = 600, MAX_DIMSE_TIMEOUT = 3600, MAX_TRANSFER_TIMEOUT = 86400;
// "" when the settings can be used, else what is wrong, in French naming the field ("le titre AE
// local ...", "l'h\xF4te ...", "le port ...", "le d\xE9lai ..."). The one check of the dialog, of
// `pacs config`, of the saved file and of every service: AE titles 1 to 16 characters of the
// default repertoire without backslash; the host an IPv4 or IPv6 address or an ASCII host name;
// the port 1 to 65535; each time-out 1 s up to its maximum.
std::string check_settings(const Settings& s);
// "" when the TLS fields hold together (with tls: a ca, cert and key both or neither); saving also
// wants the files readable.
std::string check_tls(const Settings& s);

// C-ECHO.
bool echo(const Settings& s, std::string& error);

struct Query {
    std::string patient;    // Latin-1; "" any; without '*' or '?' it matches names that start with it; a blank
                            // matches the '^' between the parts of a name as well
    std::string date_from;  // YYYYMMDD or ""
    std::string date_to;    // YYYYMMDD or ""
    std::string modality = "NM";
};
// One series found.
struct SeriesRow {
    std::string patient, patient_id, date, description;  // date as DD/MM/YYYY
    std::string study_uid, series_uid;
    int instances = 0;  // instances in the series
    int frames = 0;     // frames over all its instances (an instance without NumberOfFrames counts 1)
    // Largest Number of Time Slots (0054,0071) the archive gave for its instances: above 1 a
    // gated study; -1 when the archive did not give the attribute.
    int time_slots = -1;
};
// The chooser's word on gating: "oui (8)", "non", or "?" when the archive did not say.
std::string gated_text(const SeriesRow& row);
// C-FIND (Study Root) at study level, then series, then image level for the frame counts; rows by patient.
bool find(const Settings& s, const Query& q, std::vector<SeriesRow>& rows, std::string& error);

// Told after each received instance (done of total; total 0 when not yet known) and as bytes
// arrive (bytes of the current instance); returning false cancels the retrieval.
using Progress = std::function<bool(int done, int total, unsigned long bytes)>;
// C-GET of one series into dir (made when missing), one file per instance (explicit VR little
// endian, named after its SOP Instance UID). On any failure or cancel the files written are
// deleted, and dir too when this call made it. files: the paths written, in order.
bool get_series(const Settings& s, const std::string& series_uid, const std::string& dir,
                std::vector<std::string>& files, std::string& error, const Progress& progress = {});

// C-STORE of each file over one association (the file's transfer syntax proposed, and explicit
// and implicit VR little endian).
bool send(const Settings& s, const std::vector<std::string>& files, std::string& error);

// UTF-8 to Latin-1 and back (letters outside Latin-1 become '?').
std::string latin1_of(const std::string& utf8);
std::string utf8_of(const std::string& latin1);

}  // namespace pacs

// C-STORE of the files to the archive of the saved settings; error: Latin-1 French.
bool pacs_send_files(const std::vector<std::string>& files, std::string& error);

#endif
