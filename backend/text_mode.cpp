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
    TextModeDecoder decoder;
    decoder.Decode(bytes.data(), bytes.size(), out);
    decoder.Finish(out);
    return out;
}

void TextModeDecoder::Decode(const char* bytes, size_t n, std::wstring& out) {
    for (size_t i = 0; i < n && !m_ended; ++i) {
        const unsigned char b = static_cast<unsigned char>(bytes[i]);
        if (m_heldCr) {
            m_heldCr = false;
            if (b != '\n') out += L'\r';  // a lone CR stays
        }
        if (b == 0x1A) {
            m_ended = true;
        } else if (b == '\r') {
            m_heldCr = true;
        } else {
            out += static_cast<wchar_t>(b);
        }
    }
}

void TextModeDecoder::Finish(std::wstring& out) {
    if (m_heldCr) out += L'\r';
    m_heldCr = false;
}
