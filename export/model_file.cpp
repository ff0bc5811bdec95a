#include "model_file.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <sstream>

#include "latin1.h"
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

}  // namespace

bool parse_model_text(const std::string& text, ModelValues& v, std::string& error) {
    ModelValues m{};
    try {
        const json root = json::parse(text);
        if (!root.is_object()) throw Refusal{"un objet JSON est attendu."};
        ellipsoid(root, "outer", m.outer_centre, m.outer_semi_axes);
        ellipsoid(root, "inner", m.inner_centre, m.inner_semi_axes);
        m.base_plane = whole(member(root, "base_plane", "base_plane"), "base_plane");
        const auto apex = root.find("apex");
        m.has_apex = apex != root.end() && !apex->is_null();
        m.apex = m.has_apex ? whole(*apex, "apex") : 0;
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
    return true;
}

bool read_model_file(const std::string& path, ModelValues& v, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = with_detail("Impossible de lire le fichier mod\xE8le " + path, std::strerror(errno));
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    if (!parse_model_text(ss.str(), v, error)) {
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

bool write_model_file(const std::string& path, const ModelValues& v, std::string& error) {
    char why[200];
    if (!MODEL_CHECK(v, why, sizeof why)) {  // a file that would not read back is not written
        error = "Mod\xE8le non enregistr\xE9 dans " + path + " : " + why;
        return false;
    }
    return write_whole(path, model_json(v).dump(2) + "\n", error, "le fichier mod\xE8le");
}
