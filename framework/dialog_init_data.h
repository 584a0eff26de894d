// Dialog-initialisation data (resource type 240), stored beside a dialog template to
// fill its combo and list boxes. Byte layout, little-endian, repeated records:
//   WORD  control id
//   WORD  message: 0x0403 adds a combo-box string, 0x0401 a list-box string
//         (the 16-bit message numbers that resource compilers keep writing)
//   DWORD length of the data in bytes
//   BYTE  data[length]: the ANSI string with its terminating zero
// and a zero WORD after the last record.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fw {

struct DialogInitRecord {
    enum class Kind { ComboString, ListString, Other };
    uint16_t controlId;
    Kind kind;
    uint16_t message;  // as stored
    std::string text;  // ANSI, without the terminator
};

constexpr uint16_t kDlgInitComboAddString = 0x0403;
constexpr uint16_t kDlgInitListAddString = 0x0401;

// Reads records until the zero WORD or the end of the data. A record that claims more
// bytes than remain ends the list there: damaged data never reads past the resource.
std::vector<DialogInitRecord> ParseDialogInitData(const void* data, size_t size);

}  // namespace fw
