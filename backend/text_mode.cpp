#include "backend/text_mode.h"

std::string EncodeTextFile(const std::wstring& text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (wchar_t c : text) {
        if (c == L'\n') out += '\r';
        out += static_cast<char>(static_cast<unsigned char>(c));
    }
    return out;
}

std::wstring DecodeTextFile(const std::string& bytes) {
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (b == 0x1A) break;
        if (b == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        out += static_cast<wchar_t>(b);
    }
    return out;
}
