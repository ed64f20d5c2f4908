#pragma once
// Files for the tests of whole runs: a folder of each test's own, files read and written as
// raw bytes, and the built program run unattended on a batch.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace ovista::testing {

// The five files a batch writes into its transfer folder.
inline constexpr const char* kBatchFiles[] = {"QMRBATCH.REP", "TAMSLREP.CSV", "CONCEPS.CSV",
                                              "DbugQMR.TXT", "DbugQM1.TXT"};

// A folder of this test alone: other builds may run the same tests at the same time.
inline std::filesystem::path PrivateFolder(const std::string& prefix) {
    return std::filesystem::temp_directory_path() /
           (prefix + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
}

// The file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Writes text byte for byte, creating the file's folder when it is missing.
inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// Lines without their LF or CR LF.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Standard output of a shell command.
inline std::string CommandOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
        pclose(pipe);
    }
    return text;
}

// True when every line ends CR LF, the last one included.
inline bool AllLinesEndCrLf(const std::string& text) {
    if (text.empty()) return true;
    if (text.size() < 2 || text.substr(text.size() - 2) != "\r\n") return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
    }
    return true;
}

// Runs the built program without dialogs on a batch file, started in folder `from` (relative
// herd paths are read from there), writing into `transferFolder` and its standard error into
// `errors`. `environment` ("NAME=value ...") is set for the program alone. The reports go as
// PDF files into the folder "pdf" beside `transferFolder`: a test machine has no printer.
// Returns the exit status, -1 when the program did not end by itself.
inline int RunOvistaBatch(const std::filesystem::path& from,
                          const std::filesystem::path& transferFolder,
                          const std::string& batchFile, const std::filesystem::path& errors,
                          const std::string& environment = "", const std::string& keys = "") {
    const std::string command = "cd '" + from.string() + "' && QT_QPA_PLATFORM=offscreen " +
                                (environment.empty() ? "" : environment + " ") + "'" +
                                OVISTA_BINARY_DIR + "/ovista' NODIALOGS 'XFERFOLDER=" +
                                transferFolder.string() + "' 'QMRBATCHFILE=" + batchFile +
                                "' 'PDFFOLDER=" +
                                (transferFolder.parent_path() / "pdf").string() + "' " + keys + " 2>'" +
                                errors.string() + "' >/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace ovista::testing
