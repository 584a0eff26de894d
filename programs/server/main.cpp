// server.dll: the streaming server program. Reads the configuration named by
// -f, takes the feed, serves the streams, and ends on Ctrl+Break or SIGTERM.
#include <asio.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "common/exit_reasons.h"
#include "common/utf8.h"
#include "common/whole_file.h"
#include "programs/common/program_entry.h"
#include "programs/common/run_log.h"
#include "programs/common/stop_signal.h"
#include "programs/server/config.h"
#include "programs/server/descriptor_limit.h"
#include "programs/server/server.h"

namespace {

// A configuration file is small; refuse to read something else whole.
constexpr size_t kMaxConfigBytes = 1u << 20;

int Usage(const char* problem) {
    SayLine(std::string("server: ") + problem + "\nusage: server -f <configuration file>");
    return server_exit::kCommandLine;
}

// The configuration file's path from -f. False, with the exit code, when the program ends here.
bool ParseArguments(const std::vector<std::wstring>& args, std::wstring& configPath, int& rc) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == L"-f" && i + 1 < args.size()) {
            configPath = args[++i];
        } else if (args[i] == L"-h" || args[i] == L"-?") {
            std::printf("usage: server -f <configuration file>\n");
            rc = 0;
            return false;
        } else {
            rc = Usage(("unknown option " + ToUtf8(args[i])).c_str());
            return false;
        }
    }
    if (!configPath.empty()) return true;
    rc = Usage("no configuration file given");
    return false;
}

// False, having said why, with the exit code, when the configuration cannot be used.
bool LoadConfig(const std::wstring& path, const std::string& fileName, ServerConfig& config, int& rc) {
    std::string text;
    ReadResult read = ReadWholeFile(path, kMaxConfigBytes, text);
    if (read != ReadResult::Ok) {
        SayLine(fileName + ": cannot read the configuration file");
        rc = read == ReadResult::TooLarge ? server_exit::kConfigInvalid : server_exit::kConfigMissing;
        return false;
    }
    std::string error;
    if (!ParseServerConfig(text, fileName, config, error, &rc)) {
        SayLine(error);
        return false;
    }
    return true;
}

// Each connection is a descriptor; a few more are the program's own.
void RaiseDescriptorLimitFor(const ServerConfig& config) {
    long wanted = config.maxHttpConnections + 32L;
    long allowed = RaiseDescriptorLimit(wanted);
    if (allowed > 0 && allowed < wanted)
        SayLine("server: the system allows " + std::to_string(allowed) +
                " open descriptors, too few for MaxHTTPConnections " + std::to_string(config.maxHttpConnections));
}

// The access log CustomLog names: none (null), standard output, or a file
// appended to, which the program then owns. False when the file cannot be opened.
bool OpenLog(const ServerConfig& config, const std::string& fileName, std::FILE*& logFile, bool& ownLog) {
    logFile = nullptr;
    ownLog = false;
    if (config.customLog == "-") {
        logFile = stdout;
    } else if (!config.customLog.empty()) {
#ifdef _WIN32
        logFile = _wfopen(FromUtf8(config.customLog).c_str(), L"a");
#else
        logFile = std::fopen(config.customLog.c_str(), "a");
#endif
        if (!logFile) {
            SayLine(fileName + ": cannot open the log file " + config.customLog);
            return false;
        }
        ownLog = true;
    }
    return true;
}

// Serves until a stop signal; the exit code.
int Serve(const ServerConfig& config, std::FILE* logFile, bool ownLog) {
    asio::io_context io;
    // The stop handler must come before any other thread starts.
    InstallStopHandler([&io] { io.stop(); });
    // The server and every connection share the writers; the last to go closes the log.
    std::shared_ptr<LogWriter> log = logFile ? std::make_shared<LogWriter>(logFile, ownLog) : nullptr;
    auto messages = std::make_shared<LogWriter>(stderr, false);
    messages->CopyToRunLog();
    int rc = 0;
    {
        Server server(io, config, std::move(log), messages, ServerTimeouts());
        std::string error;
        if (!server.Listen(error, rc)) {
            messages->Write("server: " + error + "\n");
        } else {
            messages->Write("server: listening on port " + std::to_string(server.port()) + "\n");
            io.run();
            messages->Write("server: stopped\n");
        }
    }
    return rc;
}

}  // namespace

int RunProgram(const std::vector<std::wstring>& args) {
    std::wstring configPath;
    int rc = 0;
    if (!ParseArguments(args, configPath, rc)) return rc;
    std::string fileName = ToUtf8(configPath);
    ServerConfig config;
    if (!LoadConfig(configPath, fileName, config, rc)) return rc;
    RaiseDescriptorLimitFor(config);
    std::FILE* logFile = nullptr;
    bool ownLog = false;
    if (!OpenLog(config, fileName, logFile, ownLog)) return server_exit::kLogFile;
    return Serve(config, logFile, ownLog);
}
