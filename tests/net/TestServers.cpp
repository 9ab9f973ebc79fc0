#include "tests/net/TestServers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "net/Echo.h"

namespace {

bool ProgramExists(const char* path) { return ::access(path, X_OK) == 0; }

pid_t Launch(const std::vector<std::string>& args, const std::string& log) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    // The server ends with the test process, even when that one crashes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::setpgid(0, 0);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
    }
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

}  // namespace

const char* ServerKindName(ServerKind kind) { return kind == ServerKind::Orthanc ? "Orthanc" : "dcmqrscp"; }

std::uint16_t FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    std::uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool MaySkipMissingServer() { return std::getenv("CI") == nullptr; }

std::unique_ptr<TestServer> TestServer::Start(ServerKind kind, std::string& problem) {
    std::unique_ptr<TestServer> server(new TestServer(kind));
    server->m_port = FreePort();
    server->m_movePort = FreePort();
    const std::string root = server->m_folder.Path().string();
    std::vector<std::string> args;
    if (kind == ServerKind::Orthanc) {
        server->m_aeTitle = "ORTHANC";
        const char* program = "/usr/sbin/Orthanc";
        if (!ProgramExists(program)) {
            problem = "Orthanc is not installed (scripts/install-deps installs it)";
            return nullptr;
        }
        const std::string config = root + "/orthanc.json";
        WriteText(config, "{\n"
                          "  \"Name\": \"dorvanelle-test\",\n"
                          "  \"StorageDirectory\": \"" + root + "/storage\",\n"
                          "  \"IndexDirectory\": \"" + root + "/storage\",\n"
                          "  \"HttpServerEnabled\": false,\n"
                          "  \"DicomServerEnabled\": true,\n"
                          "  \"DicomAet\": \"ORTHANC\",\n"
                          "  \"DicomPort\": " + std::to_string(server->m_port) + ",\n"
                          "  \"DicomCheckCalledAet\": true,\n"
                          "  \"DicomAlwaysAllowEcho\": true,\n"
                          "  \"DicomAlwaysAllowStore\": true,\n"
                          "  \"DicomAlwaysAllowFind\": true,\n"
                          "  \"DicomAlwaysAllowGet\": true,\n"
                          "  \"DicomAlwaysAllowMove\": true,\n"
                          "  \"DicomCheckModalityHost\": false,\n"
                          "  \"DicomModalities\": { \"dorvanelle\": [\"DORVANELLE\", \"127.0.0.1\", " +
                              std::to_string(server->m_movePort) + "] },\n"
                          "  \"Plugins\": []\n"
                          "}\n");
        args = {program, config};
    } else {
        server->m_aeTitle = "QRSCP";
        const char* program = "/usr/bin/dcmqrscp";
        if (!ProgramExists(program)) {
            problem = "dcmqrscp is not installed (scripts/install-deps installs dcmtk)";
            return nullptr;
        }
        const std::string storage = root + "/storage";
        std::filesystem::create_directories(storage);
        const std::string config = root + "/dcmqrscp.cfg";
        WriteText(config, "NetworkTCPPort = " + std::to_string(server->m_port) +
                              "\nMaxPDUSize = 65536\nMaxAssociations = 16\n"
                              "HostTable BEGIN\n"
                              "dorvanelle = (DORVANELLE, 127.0.0.1, " + std::to_string(server->m_movePort) + ")\n"
                              "HostTable END\n"
                              "VendorTable BEGIN\nVendorTable END\n"
                              "AETable BEGIN\n"
                              "QRSCP " + storage + " RW (200, 1024mb) ANY\n"
                              "AETable END\n");
        // dcmqrscp takes one compressed syntax beside the uncompressed ones: JPEG-LS
        // lossless, which it also offers when it sends.
        args = {program, "--disable-host-lookup", "+xt", "-xt", "-c", config};
    }
    server->m_pid = Launch(args, root + "/server.log");
    // Up when it answers; Orthanc and dcmqrscp both take well under a second here.
    ServerSettings settings = server->Settings();
    settings.timeouts = {2, 2, 5};
    Reason why;
    for (int attempt = 0; attempt < 100; ++attempt) {
        why = Echo(settings);
        if (!why) return server;
        int status = 0;
        if (::waitpid(server->m_pid, &status, WNOHANG) == server->m_pid) {
            server->m_pid = -1;
            problem = std::string(ServerKindName(kind)) + " ended at start: " + ReadFileText(root + "/server.log", 2000);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    problem = std::string(ServerKindName(kind)) + " did not answer: " + why.Text();
    return nullptr;
}

TestServer::~TestServer() { Kill(); }

void TestServer::Kill() {
    if (m_pid <= 0) return;
    ::kill(-m_pid, SIGKILL);
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
}

ServerSettings TestServer::Settings() const {
    ServerSettings settings;
    settings.server = {m_aeTitle, "127.0.0.1", m_port};
    settings.timeouts = {5, 10, 30};
    return settings;
}

bool TestServer::TakesCompressed(const std::string& syntax) const {
    return m_kind == ServerKind::Orthanc || syntax == "1.2.840.10008.1.2.4.80";
}

std::string TestServer::Address() const { return m_aeTitle + "@127.0.0.1:" + std::to_string(m_port); }

SilentListener::SilentListener(bool accepting) {
    m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    ::listen(m_fd, accepting ? 8 : 0);
    if (accepting) {
        m_thread = std::thread([this] {
            while (!m_stop.load()) {
                const int client = ::accept(m_fd, nullptr, nullptr);
                if (client >= 0) m_clients.push_back(client);
            }
        });
    } else {
        // One connection fills a queue of length 0; the next one's SYN is dropped.
        m_filler = ::socket(AF_INET, SOCK_STREAM, 0);
        ::connect(m_filler, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
}

SilentListener::~SilentListener() {
    m_stop.store(true);
    ::shutdown(m_fd, SHUT_RDWR);
    if (m_thread.joinable()) m_thread.join();
    for (int client : m_clients) ::close(client);
    if (m_filler >= 0) ::close(m_filler);
    ::close(m_fd);
}
