// The on-disk form of our text files: one byte per character, CR LF line ends,
// no byte-order mark, as a C text-mode stream under the "C" locale writes them.
#pragma once
#include <cstddef>
#include <string>

// Every character must be below 256; each LF is written as CR LF.
std::string EncodeTextFile(const std::wstring& text);
// CR LF becomes LF, a lone CR stays, a 0x1A byte ends the file, and every
// other byte becomes the character of the same value.
std::wstring DecodeTextFile(const std::string& bytes);

// The same rules for a file read in chunks of any size, so that it need not be held
// whole: a CR at the end of a chunk waits for the next byte to tell whether it ends a line.
class TextModeDecoder {
public:
    // Appends the characters of these bytes to out; after a 0x1A byte nothing more.
    void Decode(const char* bytes, size_t n, std::wstring& out);
    // The end of the file: a CR still waiting is a lone one.
    void Finish(std::wstring& out);
    // A 0x1A byte was seen: whatever follows it is not part of the file.
    bool Ended() const { return m_ended; }

private:
    bool m_heldCr = false;
    bool m_ended = false;
};
