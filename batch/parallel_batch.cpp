#include "batch/parallel_batch.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <new>
#include <optional>
#include <sstream>
#include <string_view>
#include <thread>
#include <vector>

#include "analysis/output_file.h"
#include "analysis/trace.h"
#include "batch/run_files.h"
#include "batch/pdf_names.h"
#include "batch/stop_signals.h"
#include "formats/cow_list_file.h"
#include "formats/summary_file.h"
#include "batch/trend_seasons.h"
#include "batch/working_folder.h"
#include "herd/csv_line.h"
#include "herd/errors.h"
#include "herd/herd_file.h"
#include "herd/services.h"

namespace ovista {
namespace {

namespace fs = std::filesystem;

constexpr const char* kMessagesFile = "messages";
constexpr const char* kStdoutFile = "stdout";
constexpr const char* kStderrFile = "stderr";
constexpr std::size_t kReceiveChunk = 1 << 16;
constexpr const char* kPdfFolder = "pdf";
// Said with a failure of the workers' folder, which the user does not choose directly.
constexpr const char* kFolderHint = " (the worker processes' folder; TMPDIR chooses another)";

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes;
    char chunk[1 << 16];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    }
    return bytes;
}

// A worker's messages, kept with their kind so the batch process can show them as the
// worker would have: "I" or "S", the length, a line feed, the text. Each is written through
// at once, so a crash later in the herd keeps what was said before it.
class RecordingServices : public UserServices {
public:
    explicit RecordingServices(const std::string& path) {
        try {
            out_.Create(path);
        } catch (const OutputFileError& e) {
            failure_ = e;
        }
    }
    void ShowInfo(const std::string& message) override { Record('I', message); }
    std::unique_ptr<StatusWindow> ShowStatus(const std::string& message) override {
        Record('S', message);
        return std::make_unique<StatusWindow>();
    }
    void PumpMessages() override {}

    // Why a message could not be kept; nullopt when all were.
    const std::optional<OutputFileError>& Failure() const { return failure_; }

private:
    void Record(char kind, const std::string& text) {
        if (failure_) return;
        try {
            out_.Write(kind + std::to_string(text.size()) + '\n' + text);
        } catch (const OutputFileError& e) {
            failure_ = e;
        }
    }
    OutputFile out_;
    std::optional<OutputFileError> failure_;
};

void ReplayMessages(std::string_view recorded, UserServices& services) {
    std::size_t at = 0;
    while (at < recorded.size()) {
        const char kind = recorded[at++];
        const std::size_t newline = recorded.find('\n', at);
        if (newline == std::string::npos) return;
        const std::size_t length = std::strtoull(recorded.data() + at, nullptr, 10);
        at = newline + 1;
        if (length > recorded.size() - at) return;  // cut short by a crash
        const std::string text(recorded.substr(at, length));
        at += length;
        if (kind == 'S') {
            services.ShowStatus(text);
        } else {
            services.ShowInfo(text);
        }
    }
}

// The length of text written as its CrLfLines, each with its line end.
std::size_t CrLfLinesLength(std::string_view text) {
    return text.empty() || text.ends_with("\r\n") ? text.size() : text.size() + 2;
}

// Lines of a CR LF file, without their ends.
std::vector<std::string> CrLfLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find("\r\n", at);
        if (end == std::string_view::npos) end = text.size();
        lines.emplace_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// How a worker's step for a herd ended, as its answer says. The numbers are those of the
// answer line; a failed step is logged with its number as the worker's status.
enum class WorkerResult {
    Done = 0,          // the step ran to its end: the herd's files follow the answer
    Failed = 3,        // the step stopped on an error of its own
    OutOfMemory = 4,   // the herd ran out of memory outside the step's own handling
    FolderFailed = 5,  // a file of the herd's folder could not be written
};

// Why a worker that ended without answering (waitpid's status) took its herd with it.
std::string EndReason(int status) {
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        return "the worker process ended on signal " + std::to_string(signal) + " (" +
               strsignal(signal) + ")";
    }
    return "the worker process ended with status " + std::to_string(WEXITSTATUS(status));
}

// Moves a file, copying when the target lies on another file system; nothing when there is
// no file to move.
void MoveFile(const fs::path& from, const fs::path& to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (!error || error == std::errc::no_such_file_or_directory) return;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, error);
    fs::remove(from, error);
}

// Where the workers' herd folders go: TMPDIR when it is set, else memory-backed /dev/shm
// when there is one, as every herd creates, writes, reads back and removes a dozen files.
fs::path WorkerTempFolder() {
    const char* chosen = std::getenv("TMPDIR");
    if ((chosen == nullptr || *chosen == '\0') && ::access("/dev/shm", W_OK | X_OK) == 0 &&
        fs::is_directory("/dev/shm")) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}

// The files a herd's step leaves in its folder, in the order of a worker's answer.
constexpr std::size_t kOutputCount = 10;
constexpr const char* kOutputFiles[kOutputCount] = {kMessagesFile,    kStdoutFile,         kStderrFile,
                                                    kTraceFileName,   kDetailTraceFileName, kSummaryFileName,
                                                    kConceptionFileName, kTrendsFileName,  kCowListFileName,
                                                    kBatchLogFileName};
enum OutputIndex { kMessages, kStdout, kStderr, kTrace, kDetail, kSummary, kConception, kTrends, kCowLists, kLog };

struct Herd {
    long long number = 0;
    std::string line;    // the batch line
    std::string path;    // batch field 1, for the log line of a crashed worker
    bool sent = false;   // handed to a worker
    bool done = false;
    WorkerResult result = WorkerResult::Done;
    std::optional<int> endStatus;  // waitpid's status of a worker that ended on this herd
    std::optional<HerdOutcome> outcome;  // what the step made of the herd
    // A file of the herd's folder that could not be written, and why: the folder is full
    // or failing, and so it would be for every later herd.
    std::string unwritten;
    std::string unwrittenReason;
    // What the herd left in its folder, sent by its worker with its answer (files read
    // back by the batch process only when the worker ended without answering).
    bool delivered = false;
    std::string payload;  // the files one after the other, in the order of kOutputFiles
    std::array<std::pair<std::size_t, std::size_t>, kOutputCount> parts{};  // where each lies in it
    bool pdfClaimed = false;
    // The herd's traces, which stay in its folder until written into the trace files: the
    // lengths, the worker that writes them (0: none, they are written or the batch process
    // takes them from the folder), and whether it was asked to.
    std::array<std::size_t, 2> traceLengths{};
    pid_t traceWriter = 0;
    bool traceAsked = false;
    std::array<std::uint64_t, 2> traceAt{};  // the trace files' lengths when it was asked
    bool tracesInFolder = false;  // the batch process appends them, or drops them when left out
    bool cutTracesBack = false;   // a worker ended while writing them: part may be written
    std::optional<OutputFileError> traceFailure;  // why its worker could not write them
    // Its summary, conception, trend and cow-list lines and then its log lines, appended by
    // its trace writer after the traces when asked with them: the files' lengths then,
    // whether they were written there, or why they could not be (the row files are then as
    // they were; the log keeps the lines before the one that failed).
    bool rowsAsked = false;
    std::array<std::uint64_t, 4> rowsAt{};
    std::uint64_t logAt = 0;
    bool rowsWritten = false;
    std::optional<OutputFileError> rowsFailure;
    bool logWritten = false;
    std::optional<OutputFileError> logFailure;
};


// The files of a herd's folder as they are (missing ones empty), and whether its report
// took a PDF name.
void ReadOutputs(const fs::path& folder, std::array<std::string, kOutputCount>& outputs, bool& pdfClaimed) {
    for (std::size_t i = 0; i < outputs.size(); ++i) outputs[i] = ReadAll(folder / kOutputFiles[i]);
    pdfClaimed = ::access((folder / kPdfNameClaimedFile).c_str(), F_OK) == 0;
}

bool IsTrace(std::size_t output) { return output == kTrace || output == kDetail; }

// The length of a file of the herd's folder; 0 when there is none.
std::size_t FileLength(const fs::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::size_t>(status.st_size) : 0;
}

// The answer of a worker whose herd's folder could not be written:
// "<number> 5 <file>\t<reason>".

// A path or a reason on one line of the answer.
std::string OneLine(std::string text) {
    for (char& c : text) {
        if (c == '\n' || c == '\t') c = ' ';
    }
    return text;
}

// Marks a request for a herd's traces among the batch lines a worker is sent (a batch line
// starts with its herd's number).
constexpr std::string_view kTraceRequest = "T ";

struct Worker {
    pid_t pid = -1;
    int socket = -1;            // batch lines and trace requests out, herds' answers in
    std::deque<long long> queue;  // herds handed to it, the one it works on first
    std::string received;       // an incomplete herd's answer
    // Batch lines and trace requests not sent yet: all go in one send before the batch
    // process waits (Flush), so the worker's trace writer is woken once for them.
    std::string outgoing;
    std::size_t linesOutgoing = 0;  // the batch lines in it
    bool requestOutgoing = false;   // it holds a trace request
    std::optional<unsigned> heldAt;  // the batch process's wake when it was first held back
    int traceSocket = -1;       // its trace writer's answers, read apart from the herds' answers
    std::string traceReceived;  // an incomplete answer of the trace writer
    bool writesTraces = false;  // it has a trace writer: traces were written when it started
};

// The batch lines a worker's trace writer, the only reader of its socket, hands to the main
// thread.
class CommandQueue {
public:
    void Push(std::string line) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back(std::move(line));
        }
        ready_.notify_one();
    }
    // No more lines come: the socket has ended.
    void Close() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }
    // The next line, waiting for it; false once the queue is closed and empty.
    bool Pop(std::string& line) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [this] { return !lines_.empty() || closed_; });
        if (lines_.empty()) return false;
        line = std::move(lines_.front());
        lines_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::string> lines_;
    bool closed_ = false;
};

// A worker's herds' traces and summary, conception, trend, cow-list and log lines, read back
// by its main thread for its trace writer, which appends them when asked: the herds' turns
// come one at a time, so the less the trace writer does then, the more workers a batch can
// keep busy. Only the latest few are kept (the batch process asks for herds near the head of
// the batch); for a herd not kept the trace writer reads the traces from the herd's folder
// and leaves the lines to the batch process.
class KeptOutputs {
public:
    static constexpr std::size_t kMost = 8;
    struct Outputs {
        std::array<std::string, 2> traces;  // the trace and the detail trace
        std::array<std::string, 4> rows;    // summary, conception, trend and cow-list lines
        std::string log;
    };
    void Put(long long number, Outputs outputs) {
        const std::lock_guard<std::mutex> lock(mutex_);
        kept_.emplace_back(number, std::move(outputs));
        if (kept_.size() > kMost) kept_.pop_front();
    }
    // Herd number's outputs; false when they are not kept. Herds before it are asked for no
    // more (the batch process asks in batch order) and are dropped.
    bool Take(long long number, Outputs& outputs) {
        const std::lock_guard<std::mutex> lock(mutex_);
        while (!kept_.empty() && kept_.front().first < number) kept_.pop_front();
        if (kept_.empty() || kept_.front().first != number) return false;
        outputs = std::move(kept_.front().second);
        kept_.pop_front();
        return true;
    }

private:
    std::mutex mutex_;
    std::deque<std::pair<long long, Outputs>> kept_;
};

// Sends all of text; false when the worker is gone.
bool SendAll(int socket, std::string_view text) {
    while (!text.empty()) {
        const ssize_t sent = ::send(socket, text.data(), text.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        text.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
}

// Reads one line (without its line feed) from a socket; false at its end. A worker waits in
// poll, not in a blocking recv: a socket wakes a reader blocked in recv also each time the
// other side reads what this side sent, so every answer the batch process reads would wake
// the worker for nothing, at the batch process's cost as well. waitFirst: a line seldom waits
// already, so poll before the first read.
bool ReceiveLine(int socket, std::string& buffer, std::string& line, bool waitFirst = false) {
    for (;;) {
        const std::size_t newline = buffer.find('\n');
        if (newline != std::string::npos) {
            line = buffer.substr(0, newline);
            buffer.erase(0, newline + 1);
            return true;
        }
        if (waitFirst) {
            pollfd polled{socket, POLLIN, 0};
            if (::poll(&polled, 1, -1) < 0 && errno != EINTR) return false;
            waitFirst = false;
        }
        char chunk[4096];
        const ssize_t got = ::recv(socket, chunk, sizeof chunk, MSG_DONTWAIT);
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd polled{socket, POLLIN, 0};
            if (::poll(&polled, 1, -1) < 0 && errno != EINTR) return false;
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(got));
    }
}

// Worker processes that take herds one at a time. The batch process hands each a batch line
// with the herd's number; the worker runs the per-herd step into the herd's folder and
// answers with the number. A worker that dies is replaced by a new one for the next herd.
// What the batch process sends a worker (batch lines, requests for a herd's traces) waits in
// the worker's outgoing text until the batch process is about to wait, and goes in one send.
class Workers {
public:
    Workers(int jobs, const ReportOutput& output, const HerdStepInto& step, const BatchSinks& sinks,
            UserServices& services)
        : jobs_(jobs), output_(output), step_(step), sinks_(sinks), services_(services) {
        std::string pattern = (WorkerTempFolder() / "ovista-batch-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw OvistaError("Could not create a folder for the worker processes");
        }
        root_ = pattern;
        // PDF files go through the herd's folder so that they arrive in batch order; a PDF
        // folder that is not there to write into stays the worker's own target, so that its
        // reports fail as they would in one process.
        const std::string& pdf = output.pdfFolder;
        pdfsInOrder_ = !pdf.empty() && fs::is_directory(pdf) && ::access(pdf.c_str(), W_OK) == 0;
        // Herds' PDFs wait in a hidden folder inside the PDF folder, on its file system, so
        // that putting one in its place is a rename, not a copy by the batch process.
        pdfRoot_ = root_;
        if (pdfsInOrder_) {
            std::string hidden = (fs::path(pdf) / ".ovista-pdf-XXXXXX").string();
            if (mkdtemp(hidden.data()) != nullptr) pdfRoot_ = hidden;
        }
    }

    ~Workers() {
        for (Worker& worker : workers_) {
            if (!worker.queue.empty()) ::kill(worker.pid, SIGTERM);
            ::close(worker.socket);  // an idle worker ends at the end of its commands
            if (worker.traceSocket >= 0) ::close(worker.traceSocket);
        }
        for (Worker& worker : workers_) {
            int status = 0;
            while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
            }
        }
        // A herd not taken over leaves no part of its traces.
        for (const Herd& herd : herds_) {
            if (!herd.traceAsked) continue;
            try {
                CutTracesBack(herd.traceAt);
            } catch (const OutputFileError&) {
            }
            try {
                CutRowsBack(herd);
            } catch (const OutputFileError&) {
            }
            break;
        }
        std::error_code ignored;
        fs::remove_all(root_, ignored);
        if (pdfRoot_ != root_) fs::remove_all(pdfRoot_, ignored);
    }

    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Queues the line, waiting while too many herds wait for an earlier one to finish.
    void Start(const std::string& line, const std::string& path) {
        while (herds_.size() >= static_cast<std::size_t>(4 * jobs_)) {
            WaitForWorkers();
            Dispatch();
            TakeOverFinished();
            if (StopSignal() != 0) return;
        }
        Herd herd;
        herd.number = next_++;
        herd.line = line;
        herd.path = path;
        herds_.push_back(herd);
        Dispatch();
        TakeOverFinished();
        // Reading the next line may wait too (a batch from a pipe).
        while (!Flush() && StopSignal() == 0) {
            Dispatch();
            TakeOverFinished();
        }
    }

    void Finish() {
        while (StopSignal() == 0) {
            Dispatch();
            TakeOverFinished();
            if (herds_.empty()) return;
            WaitForWorkers();
        }
    }

private:
    // Each worker holds its herd and the next one, so that it never waits for the batch
    // process between herds.
    static constexpr std::size_t kQueuedPerWorker = 2;

    // Hands the herds not yet sent, in batch order, to workers with room (sent by Flush).
    void Dispatch() {
        if (StopSignal() != 0) return;
        for (Herd& herd : herds_) {
            if (herd.sent || herd.done) continue;
            Worker* worker = WorkerWithRoom();
            if (worker == nullptr) return;
            herd.sent = true;
            worker->queue.push_back(herd.number);
            ++worker->linesOutgoing;
            std::string& command = worker->outgoing;
            command += std::to_string(herd.number);
            command += ' ';
            command += herd.line;
            command += '\n';
        }
    }

    // Sends each worker what waits for it, in one send. False when a worker was gone: it is
    // taken out as Lost (its end is noticed as a crash of the herd it was on, its queued herds
    // and the traces it was asked for are left to others), so the herds to hand out changed.
    // Batch lines alone for a worker with a trace writer that is still on an earlier herd wait
    // for one wake of the batch process: every send wakes the trace writer, the worker needs
    // the line only when that herd is done, and the next wake mostly asks the same worker
    // for traces, which then go with it.
    bool Flush() {
        bool allSent = true;
        for (std::size_t i = 0; i < workers_.size();) {
            Worker& worker = workers_[i];
            const bool busy = worker.queue.size() > worker.linesOutgoing;  // on a herd sent before
            const bool holdBack = !worker.outgoing.empty() && worker.writesTraces && busy &&
                                  !worker.requestOutgoing && worker.heldAt.value_or(wakes_) == wakes_;
            if (worker.outgoing.empty() || holdBack) {
                if (holdBack) worker.heldAt = wakes_;
                ++i;
                continue;
            }
            const bool sent = SendAll(worker.socket, worker.outgoing);
            worker.outgoing.clear();
            worker.linesOutgoing = 0;
            worker.requestOutgoing = false;
            worker.heldAt.reset();
            if (sent) {
                ++i;
                continue;
            }
            Lost(worker);  // takes it out of workers_: the next one is now at i
            allSent = false;
        }
        return allSent;
    }

    // An idle worker, else a new one while there are fewer than jobs, else the one with the
    // shortest queue that has room; nullptr when all are full.
    Worker* WorkerWithRoom() {
        Worker* best = nullptr;
        for (Worker& worker : workers_) {
            if (worker.queue.empty()) return &worker;
            if (worker.queue.size() < kQueuedPerWorker &&
                (best == nullptr || worker.queue.size() < best->queue.size())) {
                best = &worker;
            }
        }
        if (workers_.size() < static_cast<std::size_t>(jobs_)) return &Spawn();
        return best;
    }

    // A worker could take a herd now: fewer workers than jobs, or one with room in its queue.
    bool WorkerWantsHerds() const {
        if (workers_.size() < static_cast<std::size_t>(jobs_)) return true;
        for (const Worker& worker : workers_) {
            if (worker.queue.size() < kQueuedPerWorker) return true;
        }
        return false;
    }

    Worker& Spawn() {
        int sockets[2];
        int traceSockets[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
            throw OvistaError(std::string("Could not start a worker process: ") + std::strerror(errno));
        }
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, traceSockets) != 0) {
            const int error = errno;
            ::close(sockets[0]);
            ::close(sockets[1]);
            throw OvistaError(std::string("Could not start a worker process: ") + std::strerror(error));
        }
        // The files the worker appends its herds' lines to: the batch process's own, whose
        // descriptors it inherits (its copies of them, at the same addresses).
        rowFiles_ = sinks_.rowFiles ? sinks_.rowFiles() : std::array<OutputFile*, 4>{};
        logFile_ = sinks_.logFile ? sinks_.logFile() : nullptr;
        // The paths the worker writes traces into, while there are traces to write.
        tracePaths_ = {};
        if (sinks_.traceFiles) {
            const std::array<OutputFile*, 2> files = sinks_.traceFiles();
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (files[i] != nullptr) tracePaths_[i] = files[i]->Path();
            }
        }
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);  // nothing buffered may be written twice
        const pid_t pid = ::fork();
        if (pid < 0) {
            for (const int socket : {sockets[0], sockets[1], traceSockets[0], traceSockets[1]}) ::close(socket);
            throw OvistaError(std::string("Could not start a worker process: ") + std::strerror(errno));
        }
        if (pid == 0) {
            ::close(sockets[0]);
            ::close(traceSockets[0]);
            for (const Worker& other : workers_) {
                ::close(other.socket);
                ::close(other.traceSocket);
            }
            RunWorker(sockets[1], traceSockets[1]);
        }
        ::close(sockets[1]);
        ::close(traceSockets[1]);
        Worker worker;
        worker.pid = pid;
        worker.socket = sockets[0];
        worker.traceSocket = traceSockets[0];
        worker.writesTraces = !tracePaths_[0].empty() && !tracePaths_[1].empty();
        workers_.push_back(worker);
        return workers_.back();
    }

    [[noreturn]] void RunWorker(int socket, int traceSocket) {
        // The batch process decides when to stop (Ctrl-C reaches the whole process group)
        // and ends busy workers with SIGTERM.
        ::signal(SIGINT, SIG_IGN);
        ::signal(SIGTERM, SIG_DFL);
        // Writing a finished herd's traces while the next herd is analysed: the batch process
        // waits for them to take the herd over. The trace writer then reads the socket and
        // hands the batch lines on, as they come in one send with its requests.
        const bool writesTraces = !tracePaths_[0].empty() && !tracePaths_[1].empty();
        KeptOutputs kept;        // these live until _exit
        CommandQueue commands;
        if (writesTraces) {
            std::thread([this, socket, traceSocket, &kept, &commands] {
                WriteTraces(socket, traceSocket, kept, commands);
            }).detach();
        }
        std::string buffer;
        std::string command;
        while (writesTraces ? commands.Pop(command) : ReceiveLine(socket, buffer, command)) {
            const std::size_t space = command.find(' ');
            const std::string number = command.substr(0, space);
            const std::string line = space == std::string::npos ? std::string() : command.substr(space + 1);
            std::string unwritten;
            const fs::path folder = root_ / number;
            std::optional<HerdOutcome> outcome;
            const WorkerResult result = RunHerd(line, folder, unwritten, outcome);
            KeptOutputs::Outputs outputs;
            bool keep = false;
            const std::string answer = result == WorkerResult::FolderFailed
                                           ? number + " " + std::to_string(static_cast<int>(result)) + unwritten + "\n"
                                           : Delivery(number, result, outcome, folder, PdfFolderOf(number),
                                                      writesTraces && result == WorkerResult::Done ? &outputs : nullptr,
                                                      keep);
            // Kept before the answer goes: the batch process asks for them only after it.
            if (keep) kept.Put(std::strtoll(number.c_str(), nullptr, 10), std::move(outputs));
            if (!SendAll(socket, answer)) break;
        }
        ::_exit(0);  // no exit handlers: they belong to the batch process
    }

    // The per-herd step with the herd's messages and output kept in its folder. FolderFailed
    // when a file of the folder could not be written; unwritten is then " <file>\t<reason>".
    WorkerResult RunHerd(const std::string& line, const fs::path& folder, std::string& unwritten,
                         std::optional<HerdOutcome>& outcome) {
        WorkerResult result = WorkerResult::Done;
        std::optional<OutputFileError> folderFailure;
        try {
            std::error_code error;
            fs::create_directories(folder, error);
            if (error) throw OutputFileError("create", folder.string(), error.message(), error.value());
            const fs::path pdfFolder = PdfFolderOf(folder.filename().string());
            if (pdfsInOrder_) fs::create_directories(pdfFolder, error);
            if (error) throw OutputFileError("create", pdfFolder.string(), error.message(), error.value());
            RedirectTo(folder / kStdoutFile, STDOUT_FILENO);
            RedirectTo(folder / kStderrFile, STDERR_FILENO);
            RecordingServices recording((folder / kMessagesFile).string());
            const char* crashOn = std::getenv("OVISTA_TEST_CRASH_HERD");
            if (crashOn != nullptr && *crashOn != '\0' && line.find(crashOn) != std::string::npos) {
                std::abort();
            }
            ReportOutput output = output_;
            if (pdfsInOrder_) output.pdfFolder = pdfFolder.string() + "/";
            outcome = step_(line, WithTrailingSeparator(folder.string()), output, recording);
            folderFailure = recording.Failure();
        } catch (const OutputFileError& e) {
            // Every file the step writes lies in the herd's folder.
            folderFailure = e;
        } catch (const std::bad_alloc&) {
            result = WorkerResult::OutOfMemory;
        } catch (...) {
            result = WorkerResult::Failed;
        }
        std::cout.flush();
        std::cerr.flush();
        std::fflush(nullptr);
        for (auto [stream, name] : {std::pair{&std::cout, kStdoutFile}, std::pair{&std::cerr, kStderrFile}}) {
            if (!stream->bad()) continue;
            stream->clear();
            if (!folderFailure) {
                folderFailure.emplace("write", (folder / name).string(), "the output could not be written");
            }
        }
        if (!folderFailure) return result;
        unwritten = " " + OneLine(folderFailure->Path()) + "\t" + OneLine(folderFailure->Reason());
        return WorkerResult::FolderFailed;
    }

    // The answer for a herd whose folder was written: "<number> <result> <outcome> <ten
    // lengths> <PDF claimed>" (outcome -1: the line named no herd or the step was stopped),
    // a line feed, then the files one after the other but the traces. The files sent are
    // removed; the folder too unless it holds the herd's PDF, which the batch process moves,
    // or its traces, which stay until the worker writes them into the trace files when the
    // batch process asks (WriteTraces). Reading back and clearing up here keeps that work off
    // the batch process, which does it for every herd of the batch in turn.
    // With toKeep: the herd's traces and its summary, conception, trend, cow-list and log lines
    // are put there (kept true) when its traces stay, for the trace writer to append.
    static std::string Delivery(const std::string& number, WorkerResult result,
                                std::optional<HerdOutcome> outcome, const fs::path& folder,
                                const fs::path& pdfFolder, KeptOutputs::Outputs* toKeep, bool& kept) {
        std::array<std::string, kOutputCount> outputs;
        std::array<std::size_t, kOutputCount> lengths{};
        for (std::size_t i = 0; i < kOutputCount; ++i) {
            if (IsTrace(i) && toKeep != nullptr) {
                toKeep->traces[i - kTrace] = ReadAll(folder / kOutputFiles[i]);
                lengths[i] = toKeep->traces[i - kTrace].size();
            } else if (IsTrace(i)) {
                lengths[i] = FileLength(folder / kOutputFiles[i]);
            } else {
                outputs[i] = ReadAll(folder / kOutputFiles[i]);
                lengths[i] = outputs[i].size();
            }
        }
        const bool pdfClaimed = ::access((folder / kPdfNameClaimedFile).c_str(), F_OK) == 0;
        std::string answer = number + " " + std::to_string(static_cast<int>(result)) + " " +
                             std::to_string(outcome ? static_cast<int>(*outcome) : -1);
        std::size_t size = 0;
        for (const std::size_t length : lengths) answer += " " + std::to_string(length);
        for (const std::string& output : outputs) size += output.size();
        answer += pdfClaimed ? " 1\n" : " 0\n";
        answer.reserve(answer.size() + size);
        for (const std::string& output : outputs) answer += output;
        const bool tracesStay = lengths[kTrace] + lengths[kDetail] != 0;
        kept = tracesStay && toKeep != nullptr;
        if (kept) {
            toKeep->rows = {std::move(outputs[kSummary]), std::move(outputs[kConception]),
                            std::move(outputs[kTrends]), std::move(outputs[kCowLists])};
            toKeep->log = std::move(outputs[kLog]);
        }
        for (std::size_t i = 0; i < kOutputCount; ++i) {
            if (!tracesStay || !IsTrace(i)) ::unlink((folder / kOutputFiles[i]).c_str());
        }
        ::unlink((folder / kPdfNameClaimedFile).c_str());
        ::rmdir(pdfFolder.c_str());  // fails while it holds the PDF
        if (!tracesStay) ::rmdir(folder.c_str());
        return answer;
    }

    // The worker's trace writer, the only reader of the worker's socket: it hands the batch
    // lines to the main thread (commands, closed at the socket's end), and for each "T
    // <number> <trace length> <detail length> <rows> <summary length> <conception length>
    // <trends length> <cow-list length> <log length>" appends herd number's traces to the
    // trace files, whose lengths those are (the herds before it are in them, no later one),
    // and with rows 1 then its summary, conception, trend and cow-list lines the same way, all
    // or none, and its log lines one by one, as the batch process would. It answers on its
    // own socket "<number> <trace error> <rows error> <log error>" and a file and a reason for
    // each, all after tabs: error 0 for written, else the error number with the files cut
    // back (the log to its last whole line) and the file and reason; -1 for lines not written
    // here (not asked for, not kept, traces that could not be written: the batch process then
    // leaves the traces out before it appends the lines; rows that could not be written: it
    // logs that). The herd's trace files are removed only after the answer: a worker that
    // ends before it leaves them for the batch process.
    void WriteTraces(int socket, int answerSocket, KeptOutputs& keptOutputs, CommandQueue& commands) {
        std::array<OutputFile, 2> files;
        std::string buffer;
        std::string command;
        // The main thread holds its next herd already, and the next request comes only after
        // this answer is read: what comes seldom waits already.
        while (ReceiveLine(socket, buffer, command, true)) {
            if (!command.starts_with(kTraceRequest)) {
                commands.Push(std::move(command));
                continue;
            }
            char* end = nullptr;
            const long long number = std::strtoll(command.c_str() + kTraceRequest.size(), &end, 10);
            const std::array<std::uint64_t, 2> at{std::strtoull(end, &end, 10), std::strtoull(end, &end, 10)};
            const bool rowsAsked = std::strtol(end, &end, 10) == 1;
            std::array<std::uint64_t, 4> rowsAt{};
            for (std::uint64_t& length : rowsAt) length = std::strtoull(end, &end, 10);
            const std::uint64_t logAt = std::strtoull(end, &end, 10);
            const fs::path folder = root_ / std::to_string(number);
            const auto failure = [](const OutputFileError& e, int& error, std::string& why) {
                error = e.Error() == 0 ? EIO : e.Error();
                why = OneLine(e.Path()) + "\t" + OneLine(e.Reason());
            };
            KeptOutputs::Outputs outputs;
            const bool kept = keptOutputs.Take(number, outputs);
            int traceError = 0;
            std::string traceWhy = "\t";
            try {
                for (std::size_t i = 0; i < files.size(); ++i) {
                    const std::string text =
                        kept ? std::move(outputs.traces[i]) : ReadAll(folder / kOutputFiles[kTrace + i]);
                    if (text.empty()) continue;
                    if (!files[i].IsOpen()) files[i].OpenForAppending(tracePaths_[i]);
                    files[i].Resume(at[i]);
                    files[i].Write(text);
                }
            } catch (const OutputFileError& e) {
                failure(e, traceError, traceWhy);
            }
            int rowsError = -1;
            std::string rowsWhy = "\t";
            if (kept && rowsAsked && traceError == 0 && rowFiles_[0] != nullptr) {
                try {
                    for (std::size_t i = 0; i < rowFiles_.size(); ++i) {
                        if (rowFiles_[i] != nullptr) rowFiles_[i]->Resume(rowsAt[i]);
                    }
                    AppendRows(rowFiles_, {outputs.rows[0], outputs.rows[1], outputs.rows[2], outputs.rows[3]});
                    rowsError = 0;
                } catch (const OutputFileError& e) {
                    failure(e, rowsError, rowsWhy);
                }
            }
            int logError = -1;
            std::string logWhy = "\t";
            if (rowsError == 0 && logFile_ != nullptr) {
                try {
                    logFile_->Resume(logAt);
                    for (const std::string& line : CrLfLines(outputs.log)) logFile_->WriteLine(line);
                    logError = 0;
                } catch (const OutputFileError& e) {
                    failure(e, logError, logWhy);
                }
            }
            const std::string answer = std::to_string(number) + " " + std::to_string(traceError) + " " +
                                       std::to_string(rowsError) + " " + std::to_string(logError) + "\t" +
                                       traceWhy + "\t" + rowsWhy + "\t" + logWhy + "\n";
            if (!SendAll(answerSocket, answer)) break;
            ::unlink((folder / kTraceFileName).c_str());
            ::unlink((folder / kDetailTraceFileName).c_str());
            ::rmdir(folder.c_str());  // fails while it holds the PDF, which the batch process moves
        }
        commands.Close();  // the main thread ends after the herds it holds
    }

    // The herd's private folder, made by its worker.
    fs::path FolderOf(long long number) const { return root_ / std::to_string(number); }

    // Where herd number's PDF waits for the batch process.
    fs::path PdfFolderOf(const std::string& number) const {
        return pdfRoot_ == root_ ? root_ / number / kPdfFolder : pdfRoot_ / number;
    }

    static void RedirectTo(const fs::path& path, int fd) {
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (file < 0 || ::dup2(file, fd) < 0) {
            const int error = errno;
            if (file >= 0) ::close(file);
            throw OutputFileError("create", path.string(), std::strerror(error), error);
        }
        ::close(file);
    }

    Herd* HerdNumbered(long long number) {
        for (Herd& herd : herds_) {
            if (herd.number == number) return &herd;
        }
        return nullptr;
    }

    // Waits until a worker reports a herd or ends, or the run is asked to stop (the busy
    // workers are then ended by the destructor, also one deep in a big herd). What waits to
    // be sent goes first; a worker found gone by it returns at once, so that its herds go to
    // the others before the batch process waits.
    void WaitForWorkers() {
        if (!Flush()) return;
        std::vector<pollfd>& polled = polled_;
        polled.clear();
        for (const Worker& worker : workers_) polled.push_back({worker.socket, POLLIN, 0});
        if (polled.empty()) throw OvistaError("Lost the worker processes");
        // While every worker holds as many herds as it may, a trace writer's answer does not
        // wake the batch process: it is read when the next herd's answer comes, a wake-up a
        // herd fewer. A worker with room may be waiting for the herd at the head to be taken
        // over, so then the answer wakes it.
        const bool traceAnswersWake = WorkerWantsHerds();
        for (const Worker& worker : workers_) polled.push_back({traceAnswersWake ? worker.traceSocket : -1, POLLIN, 0});
        // Woken now and then: a signal that comes just before the wait does not interrupt it.
        constexpr int kLookForStopMs = 200;
        for (;;) {
            const int ready = ::poll(polled.data(), polled.size(), kLookForStopMs);
            ++wakes_;
            if (ready > 0) break;
            if (ready < 0 && errno != EINTR) {
                throw OvistaError(std::string("Lost the worker processes: ") + std::strerror(errno));
            }
            if (StopSignal() != 0) return;
        }
        // The trace writers' answers first: a worker that ended is then taken out below.
        const pid_t asked = !herds_.empty() && herds_.front().traceAsked ? herds_.front().traceWriter : 0;
        const std::size_t count = workers_.size();
        for (std::size_t i = 0; i < count; ++i) {
            Worker& worker = workers_[i];
            if (polled[count + i].revents == 0 && (traceAnswersWake || worker.pid != asked)) continue;
            // Its end is noticed on its other socket.
            const ssize_t got = ::recv(worker.traceSocket, chunk_.data(), chunk_.size(), MSG_DONTWAIT);
            if (got > 0) {
                worker.traceReceived.append(chunk_.data(), static_cast<std::size_t>(got));
                TakeTraceAnswers(worker);
            } else if (got == 0) {
                polled[i].revents |= POLLHUP;
            }
        }
        for (std::size_t i = count; i-- > 0;) {
            if (polled[i].revents == 0) continue;
            Worker& worker = workers_[i];
            const ssize_t got = ::recv(worker.socket, chunk_.data(), chunk_.size(), 0);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                Lost(worker);
                continue;
            }
            worker.received.append(chunk_.data(), static_cast<std::size_t>(got));
            TakeAnswers(worker);
        }
    }

    // The herds a worker reported as finished: an answer line each, with the files of the
    // herd after it when the line gives their lengths.
    void TakeAnswers(Worker& worker) {
        std::size_t at = 0;
        for (;;) {
            const std::size_t newline = worker.received.find('\n', at);
            if (newline == std::string::npos) break;
            const char* text = worker.received.c_str() + at;
            char* end = nullptr;
            const long long number = std::strtoll(text, &end, 10);
            const auto result = static_cast<WorkerResult>(std::strtol(end, &end, 10));
            std::array<std::size_t, kOutputCount> lengths{};
            std::size_t payload = 0;
            bool pdfClaimed = false;
            std::optional<HerdOutcome> outcome;
            if (result != WorkerResult::FolderFailed) {
                const long said = std::strtol(end, &end, 10);
                if (said >= 0) outcome = static_cast<HerdOutcome>(said);
                for (std::size_t i = 0; i < kOutputCount; ++i) {
                    lengths[i] = std::strtoull(end, &end, 10);
                    if (!IsTrace(i)) payload += lengths[i];  // the traces stay in the folder
                }
                pdfClaimed = std::strtol(end, &end, 10) == 1;
            }
            if (worker.received.size() - (newline + 1) < payload) break;  // the rest is on its way
            Herd* herd = HerdNumbered(number);
            if (herd != nullptr) {
                herd->done = true;
                herd->result = result;
                herd->outcome = outcome;
                if (result == WorkerResult::FolderFailed) {
                    const std::string answer = worker.received.substr(at, newline - at);
                    const std::size_t file = answer.find(' ', answer.find(' ') + 1);
                    const std::size_t tab = answer.find('\t', file);
                    if (file != std::string::npos && tab != std::string::npos) {
                        herd->unwritten = answer.substr(file + 1, tab - file - 1);
                        herd->unwrittenReason = answer.substr(tab + 1);
                    }
                } else {
                    herd->delivered = true;
                    herd->pdfClaimed = pdfClaimed;
                    // Nearly always the answer is all that has come: taken over as it is.
                    std::size_t from = newline + 1;
                    if (at == 0 && from + payload == worker.received.size()) {
                        herd->payload = std::move(worker.received);
                        worker.received = std::string();
                    } else {
                        herd->payload.assign(worker.received, from, payload);
                        from = 0;
                    }
                    for (std::size_t i = 0; i < lengths.size(); ++i) {
                        if (IsTrace(i)) continue;
                        herd->parts[i] = {from, lengths[i]};
                        from += lengths[i];
                    }
                    herd->traceLengths = {lengths[kTrace], lengths[kDetail]};
                    if (herd->traceLengths[0] + herd->traceLengths[1] != 0) {
                        if (worker.writesTraces) {
                            herd->traceWriter = worker.pid;
                        } else {
                            herd->tracesInFolder = true;  // the traces were left out before it started
                        }
                    }
                }
            }
            if (!worker.queue.empty() && worker.queue.front() == number) worker.queue.pop_front();
            if (worker.received.empty()) return;  // the answer was taken over whole
            at = newline + 1 + payload;
        }
        worker.received.erase(0, at);
    }

    // The trace writer's answers: the herd's traces are in the trace files, which have grown
    // by them, or could not be written there.
    void TakeTraceAnswers(Worker& worker) {
        std::size_t at = 0;
        for (std::size_t newline; (newline = worker.traceReceived.find('\n', at)) != std::string::npos;
             at = newline + 1) {
            const std::string_view answer = std::string_view(worker.traceReceived).substr(at, newline - at);
            char* end = nullptr;
            const long long number = std::strtoll(answer.data(), &end, 10);
            const int error = static_cast<int>(std::strtol(end, &end, 10));
            const int rowsError = static_cast<int>(std::strtol(end, &end, 10));
            const int logError = static_cast<int>(std::strtol(end, &end, 10));
            Herd* herd = HerdNumbered(number);
            if (herd == nullptr || herd->traceWriter != worker.pid || !herd->traceAsked) continue;
            herd->traceWriter = 0;
            // "\t<file>\t<reason>" thrice after the numbers.
            std::array<std::string_view, 6> why{};
            std::string_view rest = answer.substr(std::min(answer.size(), answer.find('\t')));
            for (std::string_view& field : why) {
                if (rest.empty()) break;
                rest.remove_prefix(1);
                field = rest.substr(0, rest.find('\t'));
                rest.remove_prefix(field.size());
            }
            if (error == 0) {
                const std::array<OutputFile*, 2> files = sinks_.traceFiles();
                for (std::size_t i = 0; i < files.size(); ++i) {
                    if (files[i] != nullptr) files[i]->Resume(herd->traceAt[i] + herd->traceLengths[i]);
                }
            } else {
                herd->traceFailure.emplace("write", std::string(why[0]),
                                           why[1].empty() ? std::strerror(error) : std::string(why[1]), error);
            }
            if (!herd->rowsAsked || rowsError < 0) continue;  // the batch process appends them
            if (rowsError > 0) {
                herd->rowsFailure.emplace("write", std::string(why[2]), std::string(why[3]), rowsError);
                continue;
            }
            herd->rowsWritten = true;
            const std::array<OutputFile*, 4> files = sinks_.rowFiles();
            for (std::size_t i = 0; i < files.size(); ++i) {
                if (files[i] != nullptr) files[i]->Resume(herd->rowsAt[i] + herd->parts[kSummary + i].second);
            }
            if (logError > 0) {
                // The batch stops on it; the lines before the one that failed stay.
                herd->logFailure.emplace("write", std::string(why[4]), std::string(why[5]), logError);
            } else if (logError == 0) {
                herd->logWritten = true;
                const auto [from, size] = herd->parts[kLog];
                if (OutputFile* log = sinks_.logFile ? sinks_.logFile() : nullptr) {
                    log->Resume(herd->logAt + CrLfLinesLength(std::string_view(herd->payload).substr(from, size)));
                }
            }
        }
        worker.traceReceived.erase(0, at);
    }

    // Cuts the trace files back to their lengths before a herd's traces: a worker that ended
    // while it wrote them may have left part of them, and a herd not taken over leaves none.
    void CutTracesBack(const std::array<std::uint64_t, 2>& lengths) {
        const std::array<OutputFile*, 2> files = sinks_.traceFiles();
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i] == nullptr) continue;
            if (::truncate(files[i]->Path().c_str(), static_cast<off_t>(lengths[i])) != 0) {
                throw OutputFileError("write", files[i]->Path(), std::strerror(errno), errno);
            }
            files[i]->Resume(lengths[i]);
        }
    }

    // The same for the summary, conception, trend and cow-list files, when the herd's worker
    // was asked to append its lines.
    void CutRowsBack(const Herd& herd) {
        if (!herd.rowsAsked) return;
        if (OutputFile* log = sinks_.logFile ? sinks_.logFile() : nullptr) {
            if (::truncate(log->Path().c_str(), static_cast<off_t>(herd.logAt)) != 0) {
                throw OutputFileError("write", log->Path(), std::strerror(errno), errno);
            }
            log->Resume(herd.logAt);
        }
        const std::array<OutputFile*, 4> files = sinks_.rowFiles();
        for (std::size_t i = 0; i < files.size(); ++i) {
            if (files[i] == nullptr) continue;
            if (::truncate(files[i]->Path().c_str(), static_cast<off_t>(herd.rowsAt[i])) != 0) {
                throw OutputFileError("write", files[i]->Path(), std::strerror(errno), errno);
            }
            files[i]->Resume(herd.rowsAt[i]);
        }
    }

    // Appends what a socket of an ended worker still holds, without waiting.
    void ReceiveUnread(int socket, std::string& into) {
        for (;;) {
            const ssize_t got = ::recv(socket, chunk_.data(), chunk_.size(), MSG_DONTWAIT);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return;
            into.append(chunk_.data(), static_cast<std::size_t>(got));
        }
    }

    // A worker that ended: the herd it was on failed with the way it ended; the herds queued
    // behind it go to other workers.
    void Lost(Worker& worker) {
        int status = 0;
        while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
        }
        // Herds it finished before it ended may still be unread.
        ReceiveUnread(worker.socket, worker.received);
        TakeAnswers(worker);
        ReceiveUnread(worker.traceSocket, worker.traceReceived);
        TakeTraceAnswers(worker);
        ::close(worker.socket);
        ::close(worker.traceSocket);
        // The traces it kept are still in their herds' folders; one it was writing may be
        // in the trace files in part.
        for (Herd& herd : herds_) {
            if (herd.traceWriter != worker.pid) continue;
            herd.traceWriter = 0;
            herd.tracesInFolder = true;
            herd.cutTracesBack = herd.traceAsked;
        }
        for (std::size_t i = 0; i < worker.queue.size(); ++i) {
            Herd* herd = HerdNumbered(worker.queue[i]);
            if (herd == nullptr) continue;
            if (i == 0) {
                herd->done = true;
                herd->endStatus = status == 0 ? (1 << 8) : status;  // ended without a word: as status 1
            } else {
                herd->sent = false;
            }
        }
        const std::size_t index = static_cast<std::size_t>(&worker - workers_.data());
        workers_.erase(workers_.begin() + static_cast<std::ptrdiff_t>(index));
    }

    // Takes over the results of the finished herds at the head of the batch.
    void TakeOverFinished() {
        while (StopSignal() == 0 && !herds_.empty() && herds_.front().done) {
            if (herds_.front().traceWriter != 0) {
                AskForTraces(herds_.front());
                if (herds_.front().traceWriter != 0) return;  // until they are written
            }
            const Herd herd = std::move(herds_.front());
            herds_.pop_front();
            // The next herd's worker is asked at the top of the loop, after this one is taken
            // over: the request leaves with the next Flush in any case.
            TakeOver(herd);
            // A worker that answered has cleared the folder, unless it holds the PDF or the
            // traces, which its trace writer clears.
            if (!herd.delivered || herd.tracesInFolder) {
                std::error_code ignored;
                fs::remove_all(FolderOf(herd.number), ignored);
                if (pdfsInOrder_) fs::remove_all(PdfFolderOf(std::to_string(herd.number)), ignored);
            } else if (herd.pdfClaimed && pdfsInOrder_) {
                // Empty once its PDF has gone to its place.
                ::rmdir(PdfFolderOf(std::to_string(herd.number)).c_str());
                if (pdfRoot_ == root_) ::rmdir(FolderOf(herd.number).c_str());
            }
            if (sinks_.herdDone) sinks_.herdDone();
        }
    }

    // Asks the worker that keeps the herd's traces to write them, once; none is asked while
    // the traces are left out.
    void AskForTraces(Herd& herd) {
        if (herd.traceAsked) return;
        const std::array<OutputFile*, 2> files = sinks_.traceFiles();
        if (files[0] == nullptr || files[1] == nullptr) {
            herd.traceWriter = 0;
            herd.tracesInFolder = true;
            return;
        }
        herd.traceAsked = true;
        herd.traceAt = {files[0]->Length(), files[1]->Length()};
        // The lines count only for a herd whose step ran to its end.
        const std::array<OutputFile*, 4> rowFiles =
            sinks_.rowFiles ? sinks_.rowFiles() : std::array<OutputFile*, 4>{};
        herd.rowsAsked =
            herd.delivered && !herd.endStatus && herd.result == WorkerResult::Done && rowFiles[0] != nullptr;
        if (herd.rowsAsked) {
            for (std::size_t i = 0; i < rowFiles.size(); ++i) {
                herd.rowsAt[i] = rowFiles[i] != nullptr ? rowFiles[i]->Length() : 0;
            }
            const OutputFile* log = sinks_.logFile ? sinks_.logFile() : nullptr;
            herd.logAt = log != nullptr ? log->Length() : 0;
        }
        for (Worker& worker : workers_) {
            if (worker.pid != herd.traceWriter) continue;
            // Sent with what else goes to the worker (Flush). A worker that is gone is noticed
            // as such; the herd's traces are then appended here.
            worker.requestOutgoing = true;
            std::string& requests = worker.outgoing;
            requests += kTraceRequest;
            requests += std::to_string(herd.number);
            requests += ' ';
            requests += std::to_string(herd.traceAt[0]);
            requests += ' ';
            requests += std::to_string(herd.traceAt[1]);
            requests += herd.rowsAsked ? " 1" : " 0";
            for (const std::uint64_t length : herd.rowsAt) {
                requests += ' ';
                requests += std::to_string(length);
            }
            requests += ' ';
            requests += std::to_string(herd.logAt);
            requests += '\n';
        }
    }

    void TakeOver(const Herd& herd) {
        if (!herd.unwritten.empty()) {
            // The workers' folder is full or failing: the herd is not in the files, and no
            // later herd would be. The log says why when it still can.
            try {
                sinks_.logLine(AnalysisFailedLine(herd.path, "Could not write " + herd.unwritten + ": " +
                                                             herd.unwrittenReason));
            } catch (const OvistaError&) {
            }
            throw OutputFileError("write", herd.unwritten, herd.unwrittenReason + kFolderHint);
        }
        std::array<std::string, kOutputCount> read;
        std::array<std::string_view, kOutputCount> outputs;
        bool pdfClaimed = herd.pdfClaimed;
        if (herd.delivered) {
            for (std::size_t i = 0; i < outputs.size(); ++i) {
                outputs[i] = std::string_view(herd.payload).substr(herd.parts[i].first, herd.parts[i].second);
            }
        } else {
            // A worker that ended without answering left what it had written in the folder.
            ReadOutputs(FolderOf(herd.number), read, pdfClaimed);
            for (std::size_t i = 0; i < outputs.size(); ++i) outputs[i] = read[i];
        }
        ReplayMessages(outputs[kMessages], services_);
        std::cout << outputs[kStdout] << std::flush;
        std::cerr << outputs[kStderr] << std::flush;
        if (herd.traceFailure) {
            sinks_.tracesFailed(*herd.traceFailure);
        } else if (herd.tracesInFolder) {
            // Its worker ended before it wrote them, or the traces are left out.
            try {
                if (herd.cutTracesBack) CutTracesBack(herd.traceAt);
                const fs::path from = FolderOf(herd.number);
                sinks_.traces(ReadAll(from / kTraceFileName), ReadAll(from / kDetailTraceFileName));
            } catch (const OutputFileError& e) {
                sinks_.tracesFailed(e);
            }
        } else if (!herd.delivered) {
            sinks_.traces(outputs[kTrace], outputs[kDetail]);
        }
        if (herd.endStatus || herd.result != WorkerResult::Done) {
            // Its summary lines, log line and reports may be incomplete: none of them count.
            std::string reason;
            if (herd.endStatus) {
                reason = EndReason(*herd.endStatus);
            } else if (herd.result == WorkerResult::OutOfMemory) {
                reason = kOutOfMemoryText;
            } else {
                reason = "the worker process ended with status " + std::to_string(static_cast<int>(herd.result));
            }
            const std::string line = AnalysisFailedLine(herd.path, reason);
            sinks_.logLine(line);
            sinks_.counted(HerdOutcome::AnalysisFailed, line);
            return;
        }
        try {
            if (herd.rowsFailure) throw *herd.rowsFailure;  // the files are as they were
            if (!herd.rowsWritten) {
                // Its worker ended while it appended them, or was not asked to.
                if (herd.cutTracesBack) CutRowsBack(herd);
                sinks_.rows(outputs[kSummary], outputs[kConception], outputs[kTrends], outputs[kCowLists]);
            }
        } catch (const OvistaError& e) {
            // The herd is not in the files; the log says why when it still can.
            try {
                sinks_.logLine(AnalysisFailedLine(herd.path, e.what()));
            } catch (const OvistaError&) {
            }
            throw;
        }
        if (herd.logFailure) throw *herd.logFailure;  // as a failing log line would end the batch
        std::string lastLine;
        for (const std::string& line : CrLfLines(outputs[kLog])) {
            if (!herd.logWritten) sinks_.logLine(line);
            lastLine = line;
        }
        if (herd.outcome) sinks_.counted(*herd.outcome, lastLine);
        // The name among the batch's reports matters only to a PDF put in its place here; a
        // report on a printer claims one too.
        if (pdfClaimed && pdfsInOrder_) {
            const std::string name = sinks_.claimPdfName(herd.path);
            const fs::path written = PdfFolderOf(std::to_string(herd.number)) / PdfFileNameFor(herd.path);
            MoveFile(written, fs::path(output_.pdfFolder) / name);  // when it was written
        }
    }

    int jobs_;
    const ReportOutput& output_;
    const HerdStepInto& step_;
    const BatchSinks& sinks_;
    UserServices& services_;
    fs::path root_;
    fs::path pdfRoot_;  // where herds' PDFs wait: beside the PDF folder's files when it can be
    bool pdfsInOrder_ = false;
    std::array<std::string, 2> tracePaths_;  // where workers write traces; empty when none
    std::array<OutputFile*, 4> rowFiles_{};  // the summary, conception, trend and cow-list files
    OutputFile* logFile_ = nullptr;          // the batch log
    std::vector<Worker> workers_;
    std::deque<Herd> herds_;  // started and not yet taken over, in batch order
    std::array<char, kReceiveChunk> chunk_{};
    std::vector<pollfd> polled_;  // WaitForWorkers's, kept for its room
    unsigned wakes_ = 0;          // the returns from its poll, for Flush
    long long next_ = 0;
};

}  // namespace

void RunBatchOnWorkers(std::istream& batch, int jobs, const ReportOutput& output,
                       const HerdStepInto& step, const BatchSinks& sinks, UserServices& services) {
    // Workers that take every core read each herd file on one.
    const int readers = HerdFileReaders();
    const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
    if (jobs >= processors) SetHerdFileReaders(1);
    struct Restore {
        int readers;
        ~Restore() { SetHerdFileReaders(readers); }
    } restore{readers};
    Workers workers(jobs, output, step, sinks, services);
    std::string line;
    CsvFields fields;
    while (StopSignal() == 0 && ReadTextLine(batch, line)) {
        SplitCsvLine(line, fields);
        if (fields[0].empty()) continue;  // a blank line: nothing to run, nothing logged
        workers.Start(line, fields[0]);
    }
    workers.Finish();
}

int BatchJobs(const std::string& jobsKey, bool consoleServices, const ReportOutput& output) {
    if (!consoleServices || output.preview) return 1;
    int jobs = 0;
    if (!jobsKey.empty() && jobsKey.find_first_not_of("0123456789") == std::string::npos &&
        jobsKey.size() <= 4) {
        jobs = std::stoi(jobsKey);
    }
    if (jobs > 0) return jobs;
    if (!jobsKey.empty() || !output.pdfFolder.empty()) {
        const long processors = ::sysconf(_SC_NPROCESSORS_ONLN);
        return processors > 0 ? static_cast<int>(processors) : 1;
    }
    return 1;  // reports on the printer: in batch order unless JOBS= asks otherwise
}

}  // namespace ovista
