// The encoder's command line: any arguments give either options within their ranges or an
// error; and the hook argument's word splitting undoes the panel's escaping of any folder.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <vector>

#include "backend/command_lines.h"
#include "programs/encoder/options.h"

namespace {

// Bytes as UTF-16 units, so that text beyond ASCII is tried too.
std::wstring Wide(const std::string& bytes) {
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8);
    if (bytes.size() % 2) text += static_cast<wchar_t>(static_cast<uint8_t>(bytes.back()));
    return text;
}

void CheckParsed(const std::vector<std::wstring>& args) {
    EncoderOptions options;
    std::wstring error;
    if (!ParseEncoderOptions(args, options, error)) {
        if (error.empty()) std::abort();
        return;
    }
    const FeedUrl& url = options.output;
    if (url.host.empty() || url.path.empty() || url.path[0] != '/' || url.port == 0) std::abort();
    if (!(options.frameRate >= 0.1 && options.frameRate <= 1000)) std::abort();
    if (options.device < 0 || options.device > 9) std::abort();
    if (options.format != L"vfwcap" && options.format != L"testsrc") std::abort();
    if (options.watermark && options.watermarkPath.empty()) std::abort();
    if (options.watermarkMode < 0 || options.watermarkMode > 1 || options.watermarkThreshold > 0xFFFFFF) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool()) {
        // The panel escapes its folder; the encoder must get the very same path back.
        std::wstring folder = Wide(in.ConsumeRandomLengthString(600)), escaped;
        if (!EscapeSpaceRuns(folder, escaped)) return 0;
        std::wstring hook = L"watermark -f " + escaped + L"\\logo.gif";
        std::vector<std::wstring> words = SplitHookWords(hook);
        if (words != std::vector<std::wstring>{L"watermark", L"-f", folder + L"\\logo.gif"}) std::abort();
        EncoderOptions options;
        std::wstring error;
        if (!ParseEncoderOptions(
                {L"-f", L"vfwcap", L"-r", L"15", L"-i", L"0", L"-vhook", hook, L"http://localhost:80/feed.ffm"},
                options, error) ||
            options.watermarkPath != folder + L"\\logo.gif")
            std::abort();
        return 0;
    }
    // Any arguments, often with the options' own names so that their values get tried.
    static const wchar_t* const kWords[] = {L"-f",
                                            L"-r",
                                            L"-i",
                                            L"-sameq",
                                            L"-vhook",
                                            L"vfwcap",
                                            L"testsrc",
                                            L"watermark -f x",
                                            L"-m",
                                            L"-t",
                                            L"http://localhost:8090/feed.ffm"};
    std::vector<std::wstring> args;
    while (in.remaining_bytes() > 0 && args.size() < 16) {
        if (in.ConsumeBool()) args.push_back(kWords[in.ConsumeIntegralInRange<size_t>(0, std::size(kWords) - 1)]);
        else args.push_back(Wide(in.ConsumeRandomLengthString(64)));
    }
    CheckParsed(args);
    return 0;
}
