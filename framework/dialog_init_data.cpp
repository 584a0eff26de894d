#include "framework/dialog_init_data.h"

#include <cstring>

namespace fw {

static uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
static uint32_t Dword(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

std::vector<DialogInitRecord> ParseDialogInitData(const void* data, size_t size) {
    std::vector<DialogInitRecord> records;
    const unsigned char* p = static_cast<const unsigned char*>(data);
    size_t pos = 0;
    while (size - pos >= 2) {
        uint16_t id = Word(p + pos);
        if (id == 0) break;
        if (size - pos < 8) break;
        uint16_t message = Word(p + pos + 2);
        uint32_t length = Dword(p + pos + 4);
        pos += 8;
        if (length > size - pos) break;
        const char* text = reinterpret_cast<const char*>(p + pos);
        // The terminator is part of the length; stop at the first zero in any case.
        size_t n = strnlen(text, length);
        DialogInitRecord r{id, DialogInitRecord::Kind::Other, message, std::string(text, n)};
        if (message == kDlgInitComboAddString) r.kind = DialogInitRecord::Kind::ComboString;
        if (message == kDlgInitListAddString) r.kind = DialogInitRecord::Kind::ListString;
        records.push_back(std::move(r));
        pos += length;
    }
    return records;
}

}  // namespace fw
