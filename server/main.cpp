// quillberry-service: the reference optimisation service. `--help` lists the options; the
// manual page (packaging/quillberry-service.1) says more.

#include <malloc.h>
#include <pthread.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <memory>
#include <thread>
#include <variant>
#include <vector>

#include "Service.h"

namespace {

// Never destroyed: the signal thread may still look at it while the process exits.
httplib::Server* server = nullptr;
std::atomic<bool> serverReady{false}, stopRequested{false};

// Waits for a stop signal, then stops the server once it runs. A signal before main reaches
// listen makes main skip it; one just after is acted on as soon as the server is running.
void stopOnSignal(sigset_t signals) {
    int signal = 0;
    sigwait(&signals, &signal);
    stopRequested = true;
    while (!serverReady || !server->is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    server->stop();
}

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

const char* const USAGE =
    "usage: quillberry-service [--config FILE] [--host ADDR] [--port N] [--cert FILE --key FILE]\n"
    "                          [--upstream URL] [--model NAME]\n"
    "       quillberry-service --help | --version\n";

int usage() {
    std::cerr << USAGE;
    return 2;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n"), last = s.find_last_not_of(" \t\r\n");
    return first == std::string::npos ? "" : s.substr(first, last - first + 1);
}

// A configuration file holds `name = value` lines with the options' names ("port = 8787"),
// '#' comments and blank lines. Its options come before the command line's, which win.
bool readConfig(const std::string& path, std::vector<std::string>& args) {
    std::ifstream in(path);
    if (!in) return false;
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        if (line.empty() || line[0] == '#') continue;
        const auto eq = line.find('=');
        if (eq == std::string::npos) return false;
        args.push_back("--" + trimmed(line.substr(0, eq)));
        args.push_back(trimmed(line.substr(eq + 1)));
    }
    return true;
}

// The upstream key as a systemd credential: a file only the service's own user can read.
void readCredential(std::string& apiKey) {
    const char* dir = env("CREDENTIALS_DIRECTORY");
    std::ifstream in(std::string(dir ? dir : "") + "/upstream-api-key");
    std::string key;
    if (dir && std::getline(in, key) && !trimmed(key).empty()) apiKey = trimmed(key);
}

struct Options {
    std::string host = "127.0.0.1", cert, key;
    int port = 8787;
    quillberry::service::UpstreamConfig upstream;
};

// The options from the environment, the credential, the configuration file and the command
// line, in that order; or the exit status when there is nothing to serve (help, version, an
// error).
std::variant<Options, int> readOptions(std::vector<std::string> args) {
    Options o;
    if (const char* url = env("QUILLBERRY_UPSTREAM_URL")) o.upstream.baseUrl = url;
    if (const char* model = env("QUILLBERRY_UPSTREAM_MODEL")) o.upstream.model = model;
    if (const char* apiKey = env("QUILLBERRY_UPSTREAM_API_KEY")) o.upstream.apiKey = apiKey;
    readCredential(o.upstream.apiKey);

    if (args.size() == 1 && args[0] == "--help") return std::cout << USAGE, 0;
    if (args.size() == 1 && args[0] == "--version")
        return std::cout << "quillberry-service " QUILLBERRY_VERSION "\n", 0;
    if (args.size() >= 2 && args[0] == "--config") {
        std::vector<std::string> fromFile;
        if (!readConfig(args[1], fromFile)) {
            std::cerr << "quillberry-service: cannot read the configuration file " << args[1] << "\n";
            return 2;
        }
        args.erase(args.begin(), args.begin() + 2);
        args.insert(args.begin(), fromFile.begin(), fromFile.end());
    }
    for (size_t i = 0; i < args.size(); i += 2) {
        const std::string& arg = args[i];
        if (i + 1 >= args.size()) return usage();
        const std::string& value = args[i + 1];
        if (arg == "--host") o.host = value;
        else if (arg == "--port") {
            try {
                o.port = std::stoi(value);
            } catch (...) {
                return usage();
            }
            if (o.port < 0 || o.port > 65535) return usage();
        } else if (arg == "--cert") o.cert = value;
        else if (arg == "--key") o.key = value;
        else if (arg == "--upstream") o.upstream.baseUrl = value;
        else if (arg == "--model") o.upstream.model = value;
        else return usage();
    }
    if (o.cert.empty() != o.key.empty()) return usage();
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillberry::service;
    // Bodies, prompts and replies of a hundred kilobytes and more are mapped on their own and
    // handed back when freed. By default glibc raises this threshold after the first such
    // free, and later big blocks then stay in the threads' heaps for good.
    mallopt(M_MMAP_THRESHOLD, 128 << 10);
    // SIGTERM and SIGINT are taken by one thread from the first instruction on, so one that
    // arrives while the service is still starting is not lost (see stopOnSignal).
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread(stopOnSignal, stopSignals).detach();

    const auto read = readOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (const int* status = std::get_if<int>(&read)) return *status;
    const Options& o = std::get<Options>(read);

    std::unique_ptr<Improver> improver;
    if (o.upstream.baseUrl.empty()) improver = std::make_unique<BuiltinImprover>();
    else improver = std::make_unique<UpstreamImprover>(o.upstream);

    if (o.cert.empty()) server = new httplib::Server;
    else server = new httplib::SSLServer(o.cert.c_str(), o.key.c_str());
    if (!server->is_valid()) {
        std::cerr << "quillberry-service: cannot load the certificate or key\n";
        return 1;
    }
    installRoutes(*server, *improver);

    if (!server->bind_to_port(o.host, o.port)) {
        std::cerr << "quillberry-service: cannot listen on " << o.host << ":" << o.port << "\n";
        return 1;
    }
    std::cerr << "quillberry-service: listening on " << (o.cert.empty() ? "http" : "https") << "://" << o.host << ":"
              << o.port << " (" << (o.upstream.baseUrl.empty() ? "built-in improver" : "upstream model") << ")\n";
    serverReady = true;
    if (!stopRequested) server->listen_after_bind();
    return 0;
}
