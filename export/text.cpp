#include "text.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

std::string field_utf8(const char* latin1) {
    std::string s = latin1 != nullptr ? latin1 : "";
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return latin1_to_utf8(s);
}

double float_for_json(float f) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf - 1, f);  // shortest that reads back as f
    *r.ptr = 0;
    const double d = std::strtod(buf, nullptr);
    // Decimal -> double -> float rounds twice; where that lands elsewhere, the exact value.
    return static_cast<float>(d) == f ? d : static_cast<double>(f);
}
