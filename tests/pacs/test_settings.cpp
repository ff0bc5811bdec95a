// The archive's settings: the one check that the dialog, "pacs config", the saved file and the
// services share, and the file that is never written with a value it refuses.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "pacs.h"
#include "test_support.h"

namespace {

pacs::Settings good() {
    pacs::Settings s;
    s.aet = "VESMORA";
    s.peer_aet = "ORTHANC";
    s.host = "pacs.chu-exemple.fr";
    s.port = 4242;
    return s;
}

}  // namespace

TEST(PacsSettings, EachFieldIsCheckedAndARefusalNamesIt) {
    struct Case {
        const char* what;
        void (*change)(pacs::Settings&);
        const char* refusal;  // "" accepted, else the start of the reason
    } cases[] = {
        {"good", [](pacs::Settings&) {}, ""},
        {"16-letter titles, blanks inside", [](pacs::Settings& s) { s.aet = "A B-C_D.E 123456"; s.peer_aet = "X"; }, ""},
        {"17 letters", [](pacs::Settings& s) { s.aet = "ABCDEFGHIJKLMNOPQ"; }, "le titre AE local d\xE9passe"},
        {"backslash", [](pacs::Settings& s) { s.peer_aet = "OR\\THANC"; }, "le titre AE de l'archive contient"},
        {"accent", [](pacs::Settings& s) { s.aet = "H\xD4PITAL"; }, "le titre AE local contient"},
        {"control", [](pacs::Settings& s) { s.aet = "A\tB"; }, "le titre AE local contient"},
        {"blank title", [](pacs::Settings& s) { s.peer_aet = "   "; }, "le titre AE de l'archive est vide"},
        {"IPv4", [](pacs::Settings& s) { s.host = "192.168.0.254"; }, ""},
        {"IPv6", [](pacs::Settings& s) { s.host = "fe80::1:abcd"; }, ""},
        {"IPv6 loopback", [](pacs::Settings& s) { s.host = "::1"; }, ""},
        {"IPv6 with IPv4", [](pacs::Settings& s) { s.host = "::ffff:10.0.0.1"; }, ""},
        {"single label", [](pacs::Settings& s) { s.host = "localhost"; }, ""},
        {"fully qualified", [](pacs::Settings& s) { s.host = "pacs.local."; }, ""},
        {"accented host", [](pacs::Settings& s) { s.host = "h\xF4pital.local"; }, "l'h\xF4te \xAB h\xF4pital.local \xBB"},
        {"UTF-8 host", [](pacs::Settings& s) { s.host = "h\xC3\xB4pital.local"; }, "l'h\xF4te"},
        {"empty host", [](pacs::Settings& s) { s.host = ""; }, "l'h\xF4te de l'archive est vide"},
        {"blank in host", [](pacs::Settings& s) { s.host = "pacs local"; }, "l'h\xF4te"},
        {"leading dash", [](pacs::Settings& s) { s.host = "-pacs.local"; }, "l'h\xF4te"},
        {"empty label", [](pacs::Settings& s) { s.host = "pacs..local"; }, "l'h\xF4te"},
        {"64-letter label", [](pacs::Settings& s) { s.host = std::string(64, 'a') + ".fr"; }, "l'h\xF4te"},
        {"IPv4 part over 255", [](pacs::Settings& s) { s.host = "192.168.0.256"; }, "l'h\xF4te"},
        {"three parts", [](pacs::Settings& s) { s.host = "10.0.1"; }, "l'h\xF4te"},
        {"two gaps", [](pacs::Settings& s) { s.host = "1::2::3"; }, "l'h\xF4te"},
        {"nine groups", [](pacs::Settings& s) { s.host = "1:2:3:4:5:6:7:8:9"; }, "l'h\xF4te"},
        {"port 0", [](pacs::Settings& s) { s.port = 0; }, "le port 0 n'est pas"},
        {"port 65536", [](pacs::Settings& s) { s.port = 65536; }, "le port 65536"},
        {"ports at the bounds", [](pacs::Settings& s) { s.port = 65535; }, ""},
        {"no connect wait", [](pacs::Settings& s) { s.connect_timeout = 0; }, "le d\xE9lai de connexion"},
        {"longest waits", [](pacs::Settings& s) {
             s.connect_timeout = pacs::MAX_CONNECT_TIMEOUT;
             s.dimse_timeout = pacs::MAX_DIMSE_TIMEOUT;
             s.transfer_timeout = pacs::MAX_TRANSFER_TIMEOUT;
         }, ""},
        {"message wait too long", [](pacs::Settings& s) { s.dimse_timeout = pacs::MAX_DIMSE_TIMEOUT + 1; }, "le d\xE9lai par message"},
        {"negative transfer", [](pacs::Settings& s) { s.transfer_timeout = -5; }, "le d\xE9lai d'un transfert"},
    };
    for (const Case& c : cases) {
        pacs::Settings s = good();
        c.change(s);
        const std::string why = pacs::check_settings(s);
        if (c.refusal[0] == 0)
            EXPECT_EQ(why, "") << c.what;
        else
            EXPECT_EQ(why.rfind(c.refusal, 0), 0u) << c.what << ": " << why;
    }
}

TEST(PacsSettings, ARefusedValueIsNeitherSavedNorLoaded) {
    TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.str().c_str(), 1);
    pacs::Settings s = good();
    s.host = "h\xF4pital.local";  // the dialog's Latin-1 text: the JSON writer would throw on it
    std::string error;
    EXPECT_FALSE(pacs::save_settings(s, error));
    EXPECT_NE(error.find("h\xF4te"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(pacs::settings_path()));

    // A file written by hand with such a host is refused on reading, with the same reason.
    std::filesystem::create_directories(dir.path() / "vesmora");
    write_file(pacs::settings_path(),
               "{\"aet\":\"V\",\"peer_aet\":\"O\",\"host\":\"h\xC3\xB4pital.local\",\"port\":104}");
    EXPECT_FALSE(pacs::load_settings(s, error));
    EXPECT_NE(error.find("l'h\xF4te"), std::string::npos) << error;

    ASSERT_TRUE(pacs::save_settings(good(), error)) << error;
    pacs::Settings back;
    ASSERT_TRUE(pacs::load_settings(back, error)) << error;
    EXPECT_EQ(back.host, "pacs.chu-exemple.fr");
    unsetenv("XDG_CONFIG_HOME");
}
