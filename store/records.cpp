#include "store/records.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "store/file_io.h"

namespace vesk {

namespace {

// Copies text into a field: at most the width, whole characters only, blanks after.
void PutField(char* at, int width, const char* text, std::size_t length) {
    std::size_t n = Utf8FitLength(text, length, static_cast<std::size_t>(width));
    std::memcpy(at, text, n);
    std::memset(at + n, ' ', static_cast<std::size_t>(width) - n);
}

std::string FieldText(const char* at, int width) {
    int n = width;
    while (n > 0 && std::isspace(static_cast<unsigned char>(at[n - 1])))
        --n;
    return std::string(at, static_cast<std::size_t>(n));
}

bool TextKind(char type) {
    return type == 'C' || type == 'D' || type == 'L';
}

}  // namespace

std::size_t Utf8FitLength(const char* text, std::size_t length, std::size_t width) {
    std::size_t cut = std::min(length, width);
    const std::size_t least = cut > 3 ? cut - 3 : 0;  // at most 3 continuation bytes
    while (cut > least && cut < length &&
           (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)  // 10xxxxxx
        --cut;
    return cut;
}

DbStatus PackMembers(const std::vector<FieldDescriptor>& fields, const MemberList& members,
                     char* buffer) {
    const auto& list = members.Members();
    std::size_t next = 0;
    char* at = buffer;
    char pattern[32];
    char text[512];
    for (const FieldDescriptor& f : fields) {
        if (f.type == 'B') continue;
        if (next >= list.size()) return db::kBadField;
        const MemberList::Member& m = list[next++];
        if (TextKind(f.type)) {
            if (m.kind != MemberList::Kind::Text) return db::kBadField;
            const auto& s = *static_cast<const std::string*>(m.value);
            PutField(at, f.width, s.data(), s.size());
        } else if (f.type == 'I') {
            if (m.kind != MemberList::Kind::Integer) return db::kBadField;
            std::snprintf(pattern, sizeof pattern, "%%%dld", f.width);
            int n = std::snprintf(text, sizeof text, pattern,
                                  static_cast<long>(*static_cast<const std::int32_t*>(m.value)));
            if (n < 0 || n > f.width) return db::kValueTooWide;
            std::memcpy(at, text, static_cast<std::size_t>(f.width));
        } else if (f.type == 'N') {
            if (m.kind != MemberList::Kind::Number) return db::kBadField;
            double v = *static_cast<const double*>(m.value);
            if (!std::isfinite(v) || std::fabs(v) > 1e300) return db::kValueTooWide;
            std::snprintf(pattern, sizeof pattern, "%%%d.%dlf", f.width, f.decimals);
            int n = std::snprintf(text, sizeof text, pattern, v);
            if (n < 0 || n > f.width) return db::kValueTooWide;
            std::memcpy(at, text, static_cast<std::size_t>(f.width));
        } else {
            return db::kBadField;
        }
        at += f.width;
    }
    return next == list.size() ? db::kOk : db::kBadField;
}

DbStatus UnpackMembers(const std::vector<FieldDescriptor>& fields, const char* buffer,
                       const MemberList& members) {
    const auto& list = members.Members();
    std::size_t next = 0;
    const char* at = buffer;
    for (const FieldDescriptor& f : fields) {
        if (f.type == 'B') continue;
        if (next >= list.size()) return db::kBadField;
        const MemberList::Member& m = list[next++];
        std::string text = FieldText(at, f.width);
        if (TextKind(f.type)) {
            if (m.kind != MemberList::Kind::Text) return db::kBadField;
            *static_cast<std::string*>(m.value) = text;
        } else if (f.type == 'I') {
            if (m.kind != MemberList::Kind::Integer) return db::kBadField;
            long long v = std::strtoll(text.c_str(), nullptr, 10);
            v = std::clamp<long long>(v, std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max());
            *static_cast<std::int32_t*>(m.value) = static_cast<std::int32_t>(v);
        } else if (f.type == 'N') {
            if (m.kind != MemberList::Kind::Number) return db::kBadField;
            double v = std::strtod(text.c_str(), nullptr);
            // Text such as "nan" in a hostile file must not reach the analyses as a value.
            *static_cast<double*>(m.value) = std::isfinite(v) ? v : 0.0;
        } else {
            return db::kBadField;
        }
        at += f.width;
    }
    return next == list.size() ? db::kOk : db::kBadField;
}

std::string FormatKey(long id) {
    char key[32];
    std::snprintf(key, sizeof key, "%8ld", id);
    return key;
}

void FormatDateTime(const std::string& text, std::string* out) {
    if (text.size() == 8) {
        *out = text.substr(0, 4) + "/" + text.substr(4, 2) + "/" + text.substr(6, 2);
    } else if (text.size() == 14) {
        *out = text.substr(0, 4) + "/" + text.substr(4, 2) + "/" + text.substr(6, 2) + " " +
               text.substr(8, 2) + ":" + text.substr(10, 2) + ":" + text.substr(12, 2);
    }
}

std::string FormatDateTime(const std::string& text) {
    std::string out = text;
    FormatDateTime(text, &out);
    return out;
}

void UpgradeNmsCondition(std::int32_t condSize,
                         std::array<unsigned char, blob::kNmsCondSize>* cond) {
    if (condSize != static_cast<std::int32_t>(blob::kNmsCondSizeOld)) return;
    unsigned char* p = cond->data();
    std::memmove(p + 76, p + 72, 412 - 72);
    std::memset(p + 72, 0, 4);
}

void UpgradeNmsFactors(std::int32_t* factSize, std::int32_t count,
                       std::vector<unsigned char>* factors) {
    if (count <= 0) return;
    std::size_t n = static_cast<std::size_t>(count);
    if (factors->size() < n * blob::kNmsFactorSize) factors->resize(n * blob::kNmsFactorSize, 0);
    unsigned char* p = factors->data();
    if (*factSize == 32) {
        for (std::size_t i = n; i-- > 0;) {
            std::memmove(p + i * 36, p + i * 32, 32);
            detail::PutF32(p + i * 36 + 32, -1.0f);
        }
        *factSize = 36;
    }
    if (*factSize == 36) {
        for (std::size_t i = n; i-- > 0;) {
            unsigned char* to = p + i * 40;
            const unsigned char* from = p + i * 36;
            std::memmove(to + 20, from + 16, 20);
            std::memmove(to, from, 16);
            std::memset(to + 16, 0, 4);
        }
        *factSize = 40;
    }
}

}  // namespace vesk
