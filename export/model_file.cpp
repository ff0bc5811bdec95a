#include "model_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

#include "latin1.h"
#include "main.h"
#include "write_whole.h"

namespace {

using nlohmann::json;

struct Refusal {
    std::string why;  // Latin-1
};

const json& member(const json& object, const char* key, const std::string& where) {
    const auto it = object.find(key);
    if (it == object.end()) throw Refusal{"champ manquant : " + where};
    return *it;
}

int whole(const json& value, const std::string& where) {
    if (!value.is_number_integer()) throw Refusal{where + " : un nombre entier est attendu."};
    if (value.is_number_unsigned() ? value.get<json::number_unsigned_t>() > static_cast<unsigned>(INT_MAX)
                                   : value.get<json::number_integer_t>() < INT_MIN ||
                                         value.get<json::number_integer_t>() > INT_MAX)
        throw Refusal{where + " : " + value.dump() + " est hors des limites."};
    return static_cast<int>(value.get<json::number_integer_t>());
}

void triple(const json& object, const char* key, const std::string& parent, int out[3]) {
    const std::string where = parent + "." + key;
    const json& a = member(object, key, where);
    if (!a.is_array() || a.size() != 3) throw Refusal{where + " : un tableau de 3 entiers est attendu."};
    for (int n = 0; n < 3; n++) out[n] = whole(a[n], where + "[" + std::to_string(n) + "]");
}

void ellipsoid(const json& root, const char* key, int centre[3], int semi_axes[3]) {
    const json& e = member(root, key, key);
    if (!e.is_object()) throw Refusal{std::string(key) + " : un objet est attendu."};
    triple(e, "centre", key, centre);
    triple(e, "semi_axes", key, semi_axes);
}

// An identity key: absent or null is unknown; else a string.
std::string identity_field(const json& root, const char* key) {
    const auto it = root.find(key);
    if (it == root.end() || it->is_null()) return {};
    if (!it->is_string()) throw Refusal{std::string(key) + " : un texte est attendu."};
    std::string value = utf8_to_latin1(it->get<std::string>());
    while (!value.empty() && value.back() == ' ') value.pop_back();
    return value;
}

}  // namespace

ModelIdentity current_model_identity() {
    ModelIdentity id{PAT_ID, STUDY_UID};
    for (std::string* s : {&id.patient_id, &id.study_uid})
        while (!s->empty() && s->back() == ' ') s->pop_back();
    return id;
}

std::string model_identity_mismatch(const ModelIdentity& made_on, const ModelIdentity& study) {
    const auto differ = [](const std::string& a, const std::string& b) { return !a.empty() && !b.empty() && a != b; };
    const bool both_patients = !made_on.patient_id.empty() && !study.patient_id.empty();
    if (!differ(made_on.patient_id, study.patient_id) && (both_patients || !differ(made_on.study_uid, study.study_uid)))
        return {};
    const auto shown = [](const std::string& s) { return s.empty() ? std::string("inconnu") : s; };
    return "Ce mod\xE8le a \xE9t\xE9 fait sur une autre \xE9tude : patient ID " + shown(made_on.patient_id) +
           ", \xE9tude " + shown(made_on.study_uid) + " ; l'\xE9tude ouverte est celle du patient ID " +
           shown(study.patient_id) + ", \xE9tude " + shown(study.study_uid) + ".";
}

bool parse_model_text(const std::string& text, ModelValues& v, std::string& error) {
    ModelIdentity ignored;
    return parse_model_text(text, v, ignored, error);
}

bool parse_model_text(const std::string& text, ModelValues& v, ModelIdentity& made_on, std::string& error) {
    ModelValues m{};
    ModelIdentity id;
    try {
        const json root = json::parse(text);
        if (!root.is_object()) throw Refusal{"un objet JSON est attendu."};
        ellipsoid(root, "outer", m.outer_centre, m.outer_semi_axes);
        ellipsoid(root, "inner", m.inner_centre, m.inner_semi_axes);
        m.base_plane = whole(member(root, "base_plane", "base_plane"), "base_plane");
        const auto apex = root.find("apex");
        m.has_apex = apex != root.end() && !apex->is_null();
        m.apex = m.has_apex ? whole(*apex, "apex") : 0;
        id.patient_id = identity_field(root, "patient_id");
        id.study_uid = identity_field(root, "study_uid");
    } catch (const json::parse_error& e) {
        error = "JSON mal form\xE9 (octet " + std::to_string(e.byte) + ").";
        return false;
    } catch (const json::exception&) {  // a number beyond a double's range ("1e400")
        error = "JSON illisible : un nombre d\xE9passe les limites.";
        return false;
    } catch (const Refusal& r) {
        error = r.why;
        return false;
    }
    char why[200];
    if (!MODEL_CHECK(m, why, sizeof why)) {
        error = why;
        return false;
    }
    v = m;
    made_on = id;
    return true;
}

bool read_model_file(const std::string& path, ModelValues& v, std::string& error) {
    ModelIdentity ignored;
    return read_model_file(path, v, ignored, error);
}

bool read_model_file(const std::string& path, ModelValues& v, ModelIdentity& made_on, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = with_detail("Impossible de lire le fichier mod\xE8le " + path, std::strerror(errno));
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    if (!parse_model_text(ss.str(), v, made_on, error)) {
        error = "Fichier mod\xE8le " + path + " : " + error;
        return false;
    }
    return true;
}

nlohmann::ordered_json model_json(const ModelValues& v) {
    auto three = [](const int* a) { return nlohmann::ordered_json::array({a[0], a[1], a[2]}); };
    nlohmann::ordered_json j;
    j["outer"]["centre"] = three(v.outer_centre);
    j["outer"]["semi_axes"] = three(v.outer_semi_axes);
    j["inner"]["centre"] = three(v.inner_centre);
    j["inner"]["semi_axes"] = three(v.inner_semi_axes);
    j["base_plane"] = v.base_plane;
    if (v.has_apex) j["apex"] = v.apex;
    return j;
}

nlohmann::ordered_json model_file_json(const ModelValues& v, const ModelIdentity& made_on) {
    nlohmann::ordered_json j = model_json(v);
    if (!made_on.patient_id.empty()) j["patient_id"] = latin1_to_utf8(made_on.patient_id);
    if (!made_on.study_uid.empty()) j["study_uid"] = latin1_to_utf8(made_on.study_uid);
    return j;
}

bool write_model_file(const std::string& path, const ModelValues& v, std::string& error) {
    char why[200];
    if (!MODEL_CHECK(v, why, sizeof why)) {  // a file that would not read back is not written
        error = "Mod\xE8le non enregistr\xE9 dans " + path + " : " + why;
        return false;
    }
    return write_whole(path, model_file_json(v, current_model_identity()).dump(2) + "\n", error, "le fichier mod\xE8le");
}

bool read_model_file_for_study(const std::string& path, ModelValues& v, std::string& other_study, std::string& error) {
    ModelIdentity made_on;
    if (!read_model_file(path, v, made_on, error)) return false;
    other_study = model_identity_mismatch(made_on, current_model_identity());
    return true;
}
