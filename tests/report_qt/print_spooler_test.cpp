// The print path end to end: a private print spooler with a raw default queue whose device is
// a socket on the loopback address, where the test listens for the job.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <atomic>
#include <csignal>
#include <thread>

#include "qt_test_support.h"
#include "report/qt/print_report.h"

namespace ovista {
namespace {

constexpr const char* kQueue = "ovistatest";
constexpr int kWaitMilliseconds = 60000;  // bound on every wait, so a fault cannot hang the run

// Accepts one connection on 127.0.0.1 and keeps everything sent until the sender closes.
class JobListener {
public:
    JobListener() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;  // a free port, chosen by the system
        socklen_t length = sizeof address;
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(fd_, 1) != 0 || getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            return;
        }
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Receive(); });
    }
    ~JobListener() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (fd_ >= 0) close(fd_);
    }
    JobListener(const JobListener&) = delete;
    JobListener& operator=(const JobListener&) = delete;

    int Port() const { return port_; }
    // Waits for the job to be complete and returns it (empty when none came).
    QByteArray Job() {
        if (thread_.joinable()) thread_.join();
        return job_;
    }

private:
    // Waits up to the bound for `fd` to be readable, giving up early when stopped.
    bool WaitReadable(int fd) {
        for (int waited = 0; waited < kWaitMilliseconds && !stop_; waited += 100) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) return true;
        }
        return false;
    }
    void Receive() {
        if (!WaitReadable(fd_)) return;
        const int peer = accept(fd_, nullptr, nullptr);
        if (peer < 0) return;
        char buffer[65536];
        while (WaitReadable(peer)) {
            const ssize_t n = read(peer, buffer, sizeof buffer);
            if (n <= 0) break;
            job_.append(buffer, static_cast<qsizetype>(n));
        }
        close(peer);
    }

    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    QByteArray job_;
};

// A print spooler of its own in a temporary folder, listening on a Unix socket; stopped and
// removed with the object. It also dies with the test process.
class PrivateSpooler {
public:
    // Starts the spooler; on failure returns why.
    QString Start() {
        if (!dir_.isValid()) return "no temporary folder";
        const QString cupsd = "/usr/sbin/cupsd";
        if (!QFileInfo(cupsd).isExecutable() || QStandardPaths::findExecutable("lpadmin").isEmpty()) {
            return "the print spooler is not installed";
        }
        // Jobs run as the printing system's user, who must reach the spooled files.
        QFile::setPermissions(dir_.path(), QFile::permissions(dir_.path()) | QFile::ReadGroup | QFile::ExeGroup |
                                               QFile::ReadOther | QFile::ExeOther);
        for (const char* sub : {"etc", "spool", "cache", "state", "tmp", "log"}) QDir(dir_.path()).mkpath(sub);
        socket_ = dir_.filePath("cups.sock");
        const bool root = geteuid() == 0;
        // The spooler refuses to run jobs as root: they run as the printing system's user.
        const QString user = root ? "lp" : qEnvironmentVariable("USER");
        const QString group = root ? "lp" : user;
        Write("etc/cupsd.conf", "Listen " + socket_ +
                                    "\nLogLevel info\nBrowsing No\nWebInterface No\nDefaultAuthType None\n"
                                    "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                    "<Policy default>\n  <Limit All>\n    Order deny,allow\n    Allow all\n"
                                    "  </Limit>\n</Policy>\n");
        // File and log settings live in cups-files.conf.
        Write("etc/cups-files.conf",
              "ServerRoot " + dir_.filePath("etc") + "\nUser " + user + "\nGroup " + group +
                  "\nSystemGroup root\nRequestRoot " + dir_.filePath("spool") + "\nCacheDir " +
                  dir_.filePath("cache") + "\nStateDir " + dir_.filePath("state") + "\nTempDir " +
                  dir_.filePath("tmp") + "\nErrorLog " + dir_.filePath("log/error_log") + "\nAccessLog " +
                  dir_.filePath("log/access_log") + "\nPageLog " + dir_.filePath("log/page_log") +
                  "\nPrintcap " + dir_.filePath("printcap") + "\nServerBin /usr/lib/cups\nDataDir /usr/share/cups\n");

        cupsd_.setProgram(cupsd);
        cupsd_.setArguments({"-f", "-c", dir_.filePath("etc/cupsd.conf"), "-s", dir_.filePath("etc/cups-files.conf")});
        cupsd_.setProcessChannelMode(QProcess::MergedChannels);
        cupsd_.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        cupsd_.start();
        if (!cupsd_.waitForStarted()) return "the spooler did not start: " + cupsd_.errorString();
        for (int waited = 0; waited < kWaitMilliseconds; waited += 100) {
            if (QFileInfo::exists(socket_) && Run("lpstat", {"-r"}).startsWith("scheduler is running")) return {};
            if (cupsd_.waitForFinished(100)) {
                return "the spooler stopped: " + QString::fromLocal8Bit(cupsd_.readAll()) + Log();
            }
        }
        return "the spooler did not answer" + Log();
    }

    ~PrivateSpooler() {
        if (cupsd_.state() != QProcess::NotRunning) {
            cupsd_.terminate();
            if (!cupsd_.waitForFinished(kWaitMilliseconds)) {
                cupsd_.kill();
                cupsd_.waitForFinished();
            }
        }
    }

    QString Socket() const { return socket_; }
    // Runs a client program against this spooler; returns its output.
    QString Run(const QString& program, const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("CUPS_SERVER", socket_);
        env.insert("CUPS_SERVERROOT", dir_.filePath("etc"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        process.waitForFinished(kWaitMilliseconds);
        return QString::fromLocal8Bit(process.readAll());
    }
    QString Log() const {
        QFile log(dir_.filePath("log/error_log"));
        return log.open(QIODevice::ReadOnly) ? "\n" + QString::fromLocal8Bit(log.readAll()) : QString();
    }
    QString Path(const QString& name) const { return dir_.filePath(name); }

private:
    void Write(const QString& name, const QString& text) {
        QFile file(dir_.filePath(name));
        if (file.open(QIODevice::WriteOnly)) file.write(text.toUtf8());
    }

    QTemporaryDir dir_;
    QString socket_;
    QProcess cupsd_;
};

QString Output(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(kWaitMilliseconds);
    return QString::fromUtf8(process.readAllStandardOutput());
}

TEST(PrintSpooler, ReportReachesTheDefaultPrinterAsTwoPagePdf) {
    testing::EnsureApplication();
    PrivateSpooler spooler;
    if (const QString why = spooler.Start(); !why.isEmpty()) GTEST_SKIP() << why.toStdString();
    JobListener listener;
    ASSERT_GT(listener.Port(), 0);
    const QString device = QString("socket://127.0.0.1:%1").arg(listener.Port());
    ASSERT_EQ(spooler.Run("lpadmin", {"-p", kQueue, "-E", "-v", device}), "") << spooler.Log().toStdString();
    ASSERT_EQ(spooler.Run("lpadmin", {"-d", kQueue}), "");

    // This process talks to the private spooler only, whatever the machine's own settings.
    qputenv("CUPS_SERVER", spooler.Socket().toLocal8Bit());
    qputenv("CUPS_SERVERROOT", spooler.Path("etc").toLocal8Bit());
    qunsetenv("PRINTER");
    qunsetenv("LPDEST");
    // The print system keeps the first spooler it talked to for the whole process: this test
    // runs in a process of its own, as CTest runs every test.
    ASSERT_EQ(QPrinterInfo::defaultPrinterName(), kQueue);

    const HerdReport report = testing::ExampleReport();
    ASSERT_FALSE(report.Owner.empty());
    PrintReportOnPrinter(report);

    const QByteArray job = listener.Job();
    ASSERT_TRUE(job.startsWith("%PDF-")) << job.left(64).toStdString() << spooler.Log().toStdString();
    QTemporaryDir out;
    ASSERT_TRUE(out.isValid());
    const QString pdf = out.filePath("job.pdf");
    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(job);
    file.close();
    const QString info = Output("pdfinfo", {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+2\\n"))) << info.toStdString();
    EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+Ovista Report\\n"))) << info.toStdString();
    const QString text = Output("pdftotext", {"-layout", pdf, "-"});
    for (const std::string& expected : {report.Owner, report.SHNO}) {
        EXPECT_TRUE(text.contains(QString::fromStdString(expected))) << expected << "\n" << text.toStdString();
    }
}

}  // namespace
}  // namespace ovista
