// The archive's settings file, pacs.json in the user's config folder.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <nlohmann/json.hpp>

#include "latin1.h"
#include "pacs.h"
#include "write_whole.h"

namespace fs = std::filesystem;

namespace pacs {

std::string settings_path() {
#ifdef _WIN32
    const char* appdata = std::getenv("APPDATA");
    return std::string(appdata ? appdata : ".") + "\\Vesmora\\pacs.json";
#else
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) return std::string(xdg) + "/vesmora/pacs.json";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : ".") + "/.config/vesmora/pacs.json";
#endif
}

namespace {

// An AE title: 1 to 16 characters of the default repertoire, no backslash, not only blanks.
std::string check_aet(const std::string& aet, const char* which) {
    bool blank = true;
    for (unsigned char c : aet) {
        if (c < 0x20 || c > 0x7E || c == '\\') return std::string("le titre AE ") + which + " contient un caract\xE8re interdit";
        blank = blank && c == ' ';
    }
    if (aet.empty() || blank) return std::string("le titre AE ") + which + " est vide";
    if (aet.size() > 16) return std::string("le titre AE ") + which + " d\xE9passe 16 caract\xE8res";
    return "";
}

bool digits(const std::string& s) { return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos; }

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t at; (at = s.find(sep, start)) != std::string::npos; start = at + 1) parts.push_back(s.substr(start, at - start));
    parts.push_back(s.substr(start));
    return parts;
}

// Four decimal numbers 0..255 without leading zeros ("010" would be read as octal by some resolvers).
bool ipv4(const std::string& s) {
    const auto parts = split(s, '.');
    if (parts.size() != 4) return false;
    for (const std::string& p : parts)
        if (!digits(p) || p.size() > 3 || (p.size() > 1 && p[0] == '0') || std::stoi(p) > 255) return false;
    return true;
}

// Groups of 1 to 4 hexadecimal digits, 8 of them or fewer around one "::"; the last may be an
// IPv4 address, which counts for two.
bool ipv6(const std::string& s) {
    if (s.find(':') == std::string::npos) return false;
    int groups = 0;
    // The groups of one side of the "::" (or of the whole address); false on a bad one.
    auto side = [&groups](const std::string& text, bool last_side) {
        if (text.empty()) return true;
        const auto parts = split(text, ':');
        for (std::size_t n = 0; n < parts.size(); n++) {
            const std::string& p = parts[n];
            if (last_side && n + 1 == parts.size() && p.find('.') != std::string::npos) {
                if (!ipv4(p)) return false;
                groups += 2;
            } else if (p.empty() || p.size() > 4 || p.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                return false;
            } else {
                groups++;
            }
        }
        return true;
    };
    const std::size_t gap = s.find("::");
    if (gap == std::string::npos) return side(s, true) && groups == 8;
    if (s.find("::", gap + 1) != std::string::npos) return false;
    return side(s.substr(0, gap), false) && side(s.substr(gap + 2), true) && groups < 8;
}

// Labels of ASCII letters, digits and '-' (not at either end), 1 to 63 each, 253 in all; a
// name whose last label is all digits would be a malformed IPv4 address.
bool host_name(const std::string& s) {
    if (s.empty() || s.size() > 253) return false;
    const std::string name = s.back() == '.' ? s.substr(0, s.size() - 1) : s;  // "host." is fully qualified
    const auto labels = split(name, '.');
    for (const std::string& l : labels) {
        if (l.empty() || l.size() > 63 || l.front() == '-' || l.back() == '-') return false;
        for (char c : l)
            if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-')) return false;
    }
    return !digits(labels.back());
}

std::string check_host(const std::string& host) {
    if (host.empty()) return "l'h\xF4te de l'archive est vide";
    if (ipv4(host) || ipv6(host) || host_name(host)) return "";
    return "l'h\xF4te \xAB " + host +
           " \xBB n'est ni une adresse IP ni un nom d'h\xF4te (lettres sans accent, chiffres, '-' et '.')";
}

std::string check_seconds(int value, int high, const char* which) {
    if (value >= 1 && value <= high) return "";
    return std::string("le d\xE9lai ") + which + " (" + std::to_string(value) + " s) n'est pas entre 1 et " +
           std::to_string(high) + " s";
}

}  // namespace

std::string check_settings(const Settings& s) {
    std::string why = check_aet(s.aet, "local");
    if (why.empty()) why = check_aet(s.peer_aet, "de l'archive");
    if (why.empty()) why = check_host(s.host);
    if (why.empty() && (s.port < 1 || s.port > 65535))
        why = "le port " + std::to_string(s.port) + " n'est pas entre 1 et 65535";
    if (why.empty()) why = check_seconds(s.connect_timeout, MAX_CONNECT_TIMEOUT, "de connexion");
    if (why.empty()) why = check_seconds(s.dimse_timeout, MAX_DIMSE_TIMEOUT, "par message");
    if (why.empty()) why = check_seconds(s.transfer_timeout, MAX_TRANSFER_TIMEOUT, "d'un transfert");
    if (why.empty()) why = check_tls(s);
    return why;
}

std::string check_tls(const Settings& s) {
    if (!s.tls) return "";
    if (s.ca.empty()) return "TLS demand\xE9 sans le certificat de l'autorit\xE9 de certification (--ca)";
    if (s.cert.empty() != s.key.empty())
        return "TLS : le certificat et la cl\xE9 priv\xE9" "e de ce poste vont ensemble (--cert et --key)";
    return "";
}

namespace {

// The TLS files can be read now (checked when saving: a file moved later is named when connecting).
std::string tls_files_readable(const Settings& s) {
    if (!s.tls) return "";
    const std::pair<const std::string*, const char*> files[] = {
        {&s.ca, "le certificat de l'autorit\xE9"}, {&s.cert, "le certificat de ce poste"}, {&s.key, "la cl\xE9 priv\xE9" "e"}};
    for (const auto& [path, what] : files) {
        std::error_code ec;
        if (!path->empty() && (!std::ifstream(*path) || fs::is_directory(*path, ec)))
            return std::string("TLS : ") + what + " est illisible : " + latin1_of(*path);
    }
    return "";
}

}  // namespace

bool load_settings(Settings& s, std::string& error) {
    const std::string path = settings_path();
    std::ifstream in(path);
    if (!in) {
        error = "Aucune archive configur\xE9" "e (" + latin1_of(path) +
                " absent) : vesmora-cli pacs config --aet NOTRE_AET --peer AET@H\xD4TE:PORT";
        return false;
    }
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(in);
        Settings r;
        r.aet = j.at("aet").get<std::string>();
        r.peer_aet = j.at("peer_aet").get<std::string>();
        r.host = j.at("host").get<std::string>();
        r.port = j.at("port").get<int>();
        r.connect_timeout = j.value("connect_timeout", r.connect_timeout);
        r.dimse_timeout = j.value("dimse_timeout", r.dimse_timeout);
        r.transfer_timeout = j.value("transfer_timeout", r.transfer_timeout);
        r.tls = j.value("tls", false);
        r.ca = j.value("tls_ca", std::string());
        r.cert = j.value("tls_cert", std::string());
        r.key = j.value("tls_key", std::string());
        const std::string why = check_settings(r);
        if (!why.empty()) {
            error = "R\xE9glages de l'archive invalides (" + latin1_of(path) + ") : " + why;
            return false;
        }
        s = r;
        return true;
    } catch (const nlohmann::json::exception& e) {
        error = with_detail("R\xE9glages de l'archive illisibles (" + latin1_of(path) + ")", e.what());
        return false;
    }
}

bool save_settings(const Settings& s, std::string& error) {
    std::string why = check_settings(s);
    if (why.empty()) why = tls_files_readable(s);
    if (!why.empty()) {
        error = "R\xE9glages refus\xE9s : " + why;
        return false;
    }
    const fs::path path = settings_path();
    nlohmann::json j = {{"aet", s.aet},
                              {"peer_aet", s.peer_aet},
                              {"host", s.host},
                              {"port", s.port},
                              {"connect_timeout", s.connect_timeout},
                              {"dimse_timeout", s.dimse_timeout},
                              {"transfer_timeout", s.transfer_timeout}};
    if (s.tls || !s.ca.empty()) {
        j["tls"] = s.tls;
        j["tls_ca"] = s.ca;
        j["tls_cert"] = s.cert;
        j["tls_key"] = s.key;
    }
    std::string text;
    try {  // every text is checked ASCII above; a field added later that is not fails here, not in the caller
        text = j.dump(2) + "\n";
    } catch (const nlohmann::json::exception& e) {
        error = with_detail("R\xE9glages refus\xE9s : un champ n'est pas du texte UTF-8", e.what());
        return false;
    }
    std::error_code ec;
    fs::create_directories(path.parent_path(), ec);
    return write_whole(path.string(), text, error);
}

std::string latin1_of(const std::string& utf8) { return utf8_to_latin1(utf8); }

// A path in a message may be in the system's own UTF-8 bytes: kept as such.
std::string utf8_of(const std::string& latin1) { return program_text_to_utf8(latin1); }

}  // namespace pacs

bool pacs_send_files(const std::vector<std::string>& files, std::string& error) {
    pacs::Settings s;
    return pacs::load_settings(s, error) && pacs::send(s, files, error);
}
